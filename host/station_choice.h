// The station the office host has chosen, as an operator types it:
// "[#N] NAME ADDRESS" (ADDRESS the last word, NAME the words before it, N
// the station's number, 0 without it).
#pragma once

#include <optional>
#include <string>

#include "host/folder_host.h"

namespace pw::host {

// The station (texts Windows-1251) from the UTF-8 text; nothing, with the
// reason in problem, when the text is not of that form.
std::optional<FolderHost::Station> ParseStationChoice(const std::string& utf8, std::string& problem);

}  // namespace pw::host
