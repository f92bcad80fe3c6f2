// The event log: the one way every step of the system is reported, to the
// file LogFiles/Pumpwire.log and, when a caller names a log list, to the
// connection window that owns it. Also the small helpers the exchanges share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "services/locks.h"

namespace pw {

namespace ui {
class ListBox;
}

// Past this size the log and the message history are set aside.
inline constexpr std::uint64_t kRotationLimit = 1048576;

// Appends LongTimeStamp + " - " + text + CR LF to the log file under the log
// lock, setting the file aside when it has grown past the limit; then, with
// the lock released, hands ShortTimeStamp + text to the window owning list
// (window message 1025) on the main thread and waits until it has taken it.
// A line the file cannot take (an unwritable folder, a full disk) costs that
// line alone, never the caller's work: nothing is raised, the window still
// gets it, the loss is counted, the first loss of a run of them is told to
// the host (SetLogFailureNotice), and the first line written after the run
// tells how many went ("Не записано в журнал строк: N").
void AddToLog(std::string_view text, ui::ListBox* list = nullptr) LOCKS_EXCLUDED(log_lock);

// Lines the log file could not take since the process started.
std::uint64_t LogLinesLost() LOCKS_EXCLUDED(log_lock);

// How the host hears that the log file cannot be written, once per run of
// lost lines: given the error's text (Windows-1251), called outside the log
// lock on the thread that lost the line; it must not wait for another
// thread. Without one (nullptr) the dispatcher's report is told
// LogFailureLine(error), which pumpwire-host prints on standard error.
using LogFailureNotice = std::function<void(std::string_view error)>;
void SetLogFailureNotice(LogFailureNotice notice);

// "Ошибка записи в журнал: " + error.
std::string LogFailureLine(std::string_view error);

// How many set-asides one file keeps per day (see SetAsideName).
inline constexpr int kSetAsidesPerDay = 50;

// Appends line to the file at path; if the file is then larger than the
// limit, renames it to SetAsideName(path + the short date). A failed rename
// is ignored (the file keeps growing until a later call succeeds), so no
// line is lost. A failed append raises, the file holding none of line. The
// caller holds the log lock.
void AppendWithRotation(const std::string& path, std::string_view line)
    EXCLUSIVE_LOCKS_REQUIRED(log_lock);

// The name a file is set aside under, given dated = its path + the short
// date. The day's first set-aside is dated itself ("Pumpwire.log08.12.2026",
// the name stored files and their readers know); later ones of the same day
// take a counter after it: dated + ".2", ".3" ... up to ".50"
// (kSetAsidesPerDay files in all). Once all of them exist, the newest
// set-aside replaces the ".50" one: a flood of lines costs at most
// kSetAsidesPerDay files a day and never takes the day's earlier ones.
std::string SetAsideName(const std::string& dated);

// "hh:nn:ss  " (the time, then two blanks).
std::string ShortTimeStamp();
// "dd.mm.yyyy hh:nn:ss:zzz " (then one blank).
std::string LongTimeStamp();
std::string FormatShortTimeStamp(const platform::LocalTime& t);
std::string FormatLongTimeStamp(const platform::LocalTime& t);

// Size in bytes, 0 for a missing file; raises when an existing file cannot
// be opened.
std::uint32_t FileSizeByName(const std::string& path);

// The text after the last "\" or "/" (at most 999 characters); the whole
// path when it holds neither.
std::string FileNamePart(std::string_view path);

// Moves address to the top of remembered, the remembered address list
// (inserting it when new), stores the list in IPs at once, and refills items
// from it. Main thread only.
void RememberAddress(const std::string& address, std::vector<std::string>& remembered,
                     std::vector<std::string>& items);

}  // namespace pw
