#include "host/board_print.h"

#include "platform/ini_file.h"
#include "text/cp1251.h"

namespace pw::host {

std::vector<platform::BoardLine> ReadBoardLines(const std::string& root) {
  return platform::CurrentBoardLines(root + "OfficeDB",
                                     IniFile(root + "cnf.INI").ReadString("Inet", "ReportDeadline", ""));
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
