// "board": the office's board of stations as pumpwire-host shows it, read
// straight from the board's table in the station database under the root
// (so it shows what the office kept also before this run), marked against
// cnf.INI's ReportDeadline.
#pragma once

#include <string>
#include <vector>

#include "platform/board_view.h"

namespace pw::host {

// root: the installation folder (Windows-1251, with its separator at the
// end), where OfficeDB and cnf.INI are.
std::vector<platform::BoardLine> ReadBoardLines(const std::string& root);

// The table's lines in UTF-8, the header first.
std::vector<std::string> BoardTableLines(const std::vector<platform::BoardLine>& lines);

}  // namespace pw::host
