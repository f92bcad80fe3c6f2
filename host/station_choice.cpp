#include "host/station_choice.h"

#include <stdexcept>

#include "text/cp1251.h"

namespace pw::host {

std::optional<FolderHost::Station> ParseStationChoice(const std::string& whole, std::string& problem) {
  FolderHost::Station station;
  std::string arg = whole;
  if (!arg.empty() && arg[0] == '#') {
    const auto space = arg.find(' ');
    try {
      std::size_t used = 0;
      station.number = std::stoi(arg.substr(1, space - 1), &used);
      if (used != space - 1) throw std::invalid_argument("number");
    } catch (const std::exception&) {
      problem = "station takes #N with a number N, not '" + arg.substr(0, space) + "'";
      return std::nullopt;
    }
    arg = space == std::string::npos ? "" : arg.substr(space + 1);
  }
  const auto last_space = arg.find_last_of(' ');
  if (last_space == std::string::npos || last_space == 0 || last_space + 1 == arg.size()) {
    problem = "station takes NAME ADDRESS or #N NAME ADDRESS, not '" + whole + "'";
    return std::nullopt;
  }
  station.name = text::cp1251_from_utf8(arg.substr(0, last_space));
  station.address = text::cp1251_from_utf8(arg.substr(last_space + 1));
  return station;
}

}  // namespace pw::host
