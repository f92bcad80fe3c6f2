// "Send_file": how a station sends its report to the office, on its own
// exchange (after "TRY_GET_ZAPROS") and in answer to the office's
// "GET_OTCHET" alike. The two differ only in their texts and in what the
// office is told of a report that cannot be sent.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/session.h"
#include "station/station_services.h"

namespace pw::station {

struct ReportSendPlace {
  // The line logged as the body starts, given the path and its size.
  std::string (*start_line)(const std::string& path, std::int32_t size) = nullptr;
  // The progress window's caption, before the path.
  std::string caption_lead;
  // A report that cannot be sent whole closes the connection, so an office
  // that waits for "Send_file" learns it at once.
  bool close_when_unsendable = false;
};

// Takes the size of the file at path first (a report that cannot be sent
// whole is never announced), then sends "Send_file" and, once the office
// answers "OK", the size and path lines and the body. True when the whole
// body went out and the operator did not cancel. Any error is logged as
// "Не возможно отослать файл: " + its text and gives false.
bool SendReport(protocol::Session& session, const std::string& path, const ReportSendPlace& place,
                const StationServices& services);

}  // namespace pw::station
