// The station listener's "GET_OTCHET": the office pushes a request file,
// the station stores it in the office folder as name + "_z", has its host
// turn it into a report and sends that back with "Send_file" on the same
// connection. A station that could not take the request, or whose host made
// no report, closes the connection instead.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "services/wire_context.h"
#include "protocol/body_transfer.h"
#include "protocol/session.h"
#include "services/host_services.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

struct ReportRequestService {
  // A line to the station window's log (AddToLog to its list).
  std::function<void(std::string_view)> log;
  // The same list, for the lines the body framing writes itself.
  ui::ListBox* log_list = nullptr;
  const HostServices* host = nullptr;
  protocol::ProgressFactory progress;
  std::string folder;  // OfficeFolder()
  // The log, the operator and the settings of one transfer, taken as each
  // transfer starts (a handshake may switch the transfer mode meanwhile).
  std::function<WireContext()> wire = CurrentWireContext;
  // Shows an error text to the station's operator (on the main thread).
  std::function<void(const std::string& text)> show_error;
};

// Serves one "GET_OTCHET" after its command line. Errors of the host's
// ProcessRequestFile end the command with a log line and close the
// connection; the listener goes on.
void ServeReportRequest(protocol::Session& session, const ReportRequestService& service);

}  // namespace station
}  // namespace pw
