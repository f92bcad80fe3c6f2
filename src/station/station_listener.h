// The station's listening server (IdTCPServer1 of the station window): the
// listener of protocol/listener.h with the station's command words and its
// side of the handshake (the station's own name); every end of a connection
// is logged with the office's address.
#pragma once

#include <array>
#include <string_view>

#include "protocol/listener.h"
#include "services/plugin_context.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

// The station's command words, in the order a command line is compared
// with them.
inline constexpr std::array<std::string_view, 6> kStationCommandWords = {
    "GET_OTCHET", "SEND_MYIP", "SEND_TEXT", "GET_SCREENSHOT", "GET_TVSHOT", "SEND_FILE2"};

class StationListener : public protocol::Listener {
 public:
  // log: the station window's log list; plugin: where the station's own
  // name comes from. Both must outlive the listener.
  StationListener(ui::ListBox* log, const PluginContext& plugin);
};

}  // namespace station
}  // namespace pw
