// The stations' board as a reader sees it: one row of texts per station,
// the station with the oldest last report first, and a mark on each station
// with no report since the last time of day ReportDeadline passed. Shared by
// the office's "Станции" window and pumpwire-host's "board".
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/station_board.h"

namespace pw::platform {

// A board time: "YYYY-MM-DD HH:MM:SS".
std::string BoardTime(const LocalTime& t);
// The start of the day days_back days before t: "YYYY-MM-DD".
std::string BoardDay(const LocalTime& t, int days_back);

// ReportDeadline when the setting is empty.
inline constexpr const char* kDefaultReportDeadline = "09:00";

// Whether text is a time of day "HH:MM" (or "H:MM").
bool IsTimeOfDay(const std::string& text);

// The moment ReportDeadline ("HH:MM", empty: the default) last passed
// before now, as a board time; empty when the setting holds no such time
// (then nothing is marked).
std::string LastDeadline(const std::string& deadline, const LocalTime& now);

// The captions of the board's columns, in Windows-1251.
const std::vector<std::string>& BoardColumns();

struct BoardLine {
  std::string station, address;  // the row's station, for the window's buttons
  bool late = false;             // no report since the deadline
  std::vector<std::string> texts;  // one per column, Windows-1251
};

// rows sorted (no report first, then by the report's time, then by name)
// and written out; marked against last_deadline.
std::vector<BoardLine> BoardLines(std::vector<BoardRow> rows, const std::string& last_deadline);

// The board of the database whose folder is database_folder as it stands
// now: today's counts from local midnight, marked against deadline (the
// ReportDeadline setting's text).
std::vector<BoardLine> CurrentBoardLines(const std::string& database_folder,
                                         const std::string& deadline);

// The lines as a text table (Windows-1251, CR LF after each line), columns
// padded to their widest entry; the header first.
std::string BoardTable(const std::vector<BoardLine>& lines);

// The lines as CSV in UTF-8, with a header row; fields quoted where needed.
std::string BoardCsv(const std::vector<BoardLine>& lines);

}  // namespace pw::platform
