#include "services/event_log.h"

#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>

#include "platform/error.h"
#include "platform/files.h"
#include "services/folders.h"
#include "platform/ini_file.h"
#include "services/locks.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/window.h"

namespace pw {

namespace {

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

// The lines the log file could not take.
struct LostLines {
  std::uint64_t total = 0;
  std::uint64_t unreported = 0;  // since the last line written
  std::string file;              // the file that lost them
  bool told = false;             // the host has heard of this run of losses
};
LostLines lost_lines GUARDED_BY(log_lock);

Mutex notice_mu;
LogFailureNotice notice GUARDED_BY(notice_mu);

void TellHost(std::string_view error) {
  LogFailureNotice tell;
  {
    MutexLock lock(notice_mu);
    tell = notice;
  }
  try {
    if (tell)
      tell(error);
    else
      ui::Dispatcher::instance().report(LogFailureLine(error));
  } catch (...) {
    // Nobody left to tell: the count still keeps it.
  }
}

std::string FileLine(std::string_view text) {
  std::string line = LongTimeStamp() + " - ";
  line.append(text);
  line += "\r\n";
  return line;
}

// Writes one line, first the count of those lost before it. Answers the
// error to tell the host, when this line is the first one lost of a run.
std::optional<std::string> WriteLine(const std::string& path, std::string_view text)
    EXCLUSIVE_LOCKS_REQUIRED(log_lock) {
  try {
    // The count belongs to the file that lost the lines, not to another
    // installation folder's log.
    if (lost_lines.unreported > 0 && lost_lines.file == path)
      AppendWithRotation(path, FileLine(std::string("Не записано в журнал строк: "_w) +
                                        std::to_string(lost_lines.unreported)));
    lost_lines.unreported = 0;
    AppendWithRotation(path, FileLine(text));
    lost_lines.told = false;
    return std::nullopt;
  } catch (const std::exception& e) {
    ++lost_lines.total;
    if (lost_lines.file != path) lost_lines.unreported = 0;
    lost_lines.file = path;
    ++lost_lines.unreported;
    if (lost_lines.told) return std::nullopt;
    lost_lines.told = true;
    return std::string(e.what());
  }
}

}  // namespace

std::string FormatShortTimeStamp(const platform::LocalTime& t) {
  return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second) + "  ";
}

std::string FormatLongTimeStamp(const platform::LocalTime& t) {
  char ms[8];
  std::snprintf(ms, sizeof ms, "%03d", t.millisecond);
  return platform::ShortDateText(t) + " " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
         TwoDigits(t.second) + ":" + ms + " ";
}

std::string ShortTimeStamp() { return FormatShortTimeStamp(platform::Now()); }
std::string LongTimeStamp() { return FormatLongTimeStamp(platform::Now()); }

std::string SetAsideName(const std::string& dated) {
  if (!platform::FileExists(dated)) return dated;
  std::string name = dated;
  for (int counter = 2; counter <= kSetAsidesPerDay; ++counter) {
    name = dated + "." + std::to_string(counter);
    if (!platform::FileExists(name)) break;
  }
  return name;  // the last one, replaced, when every name is taken
}

void AppendWithRotation(const std::string& path, std::string_view line) {
  platform::AppendToFile(path, line);
  if (FileSizeByName(path) > kRotationLimit) {
    try {
      platform::RenameReplacing(path, SetAsideName(path + platform::ShortDateText(platform::Now())));
    } catch (const Error&) {
      // Open elsewhere, perhaps: the file grows until a later call succeeds.
    }
  }
}

void AddToLog(std::string_view text, ui::ListBox* list) {
  std::optional<std::string> failure;
  {
    MutexLock lock(LogLock());
    failure = WriteLine(CurrentFolders().log_file, text);
  }
  if (failure) TellHost(*failure);
  if (list != nullptr) {
    std::string window_line = ShortTimeStamp();
    window_line.append(text);
    ui::SendWindowMessage(list->owner(), ui::WM_LOGLINE, window_line);
  }
}

std::uint64_t LogLinesLost() {
  MutexLock lock(LogLock());
  return lost_lines.total;
}

void SetLogFailureNotice(LogFailureNotice tell) {
  MutexLock lock(notice_mu);
  notice = std::move(tell);
}

std::string LogFailureLine(std::string_view error) {
  // Through a view: clang 14 crashes on a std::string made straight from this literal.
  const std::string_view prefix = "Ошибка записи в журнал: "_w;
  std::string line(prefix);
  line.append(error);
  return line;
}

std::uint32_t FileSizeByName(const std::string& path) {
  const auto size = platform::FileSize(path);
  return size ? static_cast<std::uint32_t>(*size) : 0;
}

std::string FileNamePart(std::string_view path) {
  const auto pos = path.find_last_of("\\/");
  if (pos == std::string_view::npos) return std::string(path);
  return std::string(path.substr(pos + 1, 999));
}

void RememberAddress(const std::string& address, std::vector<std::string>& list,
                     std::vector<std::string>& items) {
  std::size_t k = 0;
  while (k < list.size() && list[k] != address) ++k;
  if (k == list.size()) list.emplace_back();
  // Entries 0..k-1 move one place down over the found (or new) entry.
  for (std::size_t i = k; i > 0; --i) list[i] = std::move(list[i - 1]);
  list[0] = address;
  IniFile(IniFilePath()).WriteString(kSettingsSection, "IPs", FormatRememberedAddresses(list));
  items = list;
}

}  // namespace pw

