// What every report-exchange step of the station needs of the station
// window, whether it runs on the station's own exchange thread or on a
// listener connection.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "protocol/body_transfer.h"
#include "services/host_services.h"
#include "services/wire_context.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

struct StationServices {
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
};

}  // namespace station
}  // namespace pw
