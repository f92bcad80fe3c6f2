// The station listener's "GET_OTCHET": the office pushes a request file,
// the station stores it in the office folder as name + "_z", has its host
// turn it into a report and sends that back with "Send_file" on the same
// connection. A station that could not take the request, or whose host made
// no report, closes the connection instead.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "protocol/body_transfer.h"
#include "protocol/session.h"
#include "station/station_services.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

struct ReportRequestService : StationServices {
  // Shows an error text to the station's operator (on the main thread).
  std::function<void(const std::string& text)> show_error;
};

// Serves one "GET_OTCHET" after its command line. Errors of the host's
// ProcessRequestFile end the command with a log line and close the
// connection; the listener goes on.
void ServeReportRequest(protocol::Session& session, const ReportRequestService& service);

}  // namespace station
}  // namespace pw
