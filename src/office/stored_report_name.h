// The name under which the office keeps a report it receives: the file-name
// part of the station's name line without its last four characters (its
// extension, as a rule), "_", who the report came from and ".dat". A report
// a station delivers on its own is named after the station's name, one the
// office asked for after the address it dialled.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw::office {

// The name as formed, before any check: "otchet.txt" from "12" gives
// "otchet_12.dat"; a name line of four characters or fewer gives "_12.dat".
std::string ReportNameAsFormed(std::string_view name_line, std::string_view sender);

// The name as stored: the formed name made a plain file name (SafeFileName),
// so neither the name line nor the sender can lead outside the folder;
// nothing when the name is refused (it would name a device).
std::optional<std::string> StoredReportName(std::string_view name_line, std::string_view sender);

// The line logged when the name is refused and the report is not taken.
std::string RefusedReportNameLine(std::string_view formed);

}  // namespace pw::office
