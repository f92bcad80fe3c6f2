// What every report-exchange step of the office needs of the office window,
// whether it runs on a listener connection or on the office's own request.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/body_transfer.h"
#include "services/host_services.h"
#include "services/wire_context.h"

namespace pw::office {

class StationBoard;

struct ExchangeServices {
  // A line to the log file and the office window's list.
  std::function<void(std::string_view)> log;
  // The same list, for the lines the body framing writes itself.
  ui::ListBox* log_list = nullptr;
  // The host; a pw::Error when there is none.
  std::function<HostServices()> host;
  protocol::ProgressFactory progress;
  std::string folder;  // OfficeFolder: where reports are stored
  // The log, the operator and the settings of one transfer, taken as each
  // transfer starts (a handshake may switch the transfer mode meanwhile).
  std::function<WireContext()> wire = CurrentWireContext;
  // The office's board of stations; none: nothing is recorded.
  std::shared_ptr<StationBoard> board;
};

}  // namespace pw::office
