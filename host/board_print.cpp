#include "host/board_print.h"

#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/station_board.h"
#include "text/cp1251.h"

namespace pw::host {

std::vector<platform::BoardLine> ReadBoardLines(const std::string& root) {
  const platform::LocalTime now = platform::Now();
  const std::string deadline = IniFile(root + "cnf.INI").ReadString("Inet", "ReportDeadline", "");
  return platform::BoardLines(platform::ReadBoard(root + "OfficeDB", platform::BoardDay(now, 0)),
                              platform::LastDeadline(deadline, now));
}

std::vector<std::string> BoardTableLines(const std::vector<platform::BoardLine>& lines) {
  const std::string table = text::utf8_from_cp1251(platform::BoardTable(lines));
  std::vector<std::string> out;
  for (std::size_t at = 0; at < table.size();) {
    const std::size_t end = table.find("\r\n", at);
    out.push_back(table.substr(at, end - at));
    at = end == std::string::npos ? table.size() : end + 2;
  }
  return out;
}

}  // namespace pw::host
