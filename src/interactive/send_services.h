// What the interactive commands' senders need of the connection window of
// their mode: where their lines go and how a session to the other end is
// opened and closed. The top wiring fills it from the station's or the
// office's window, so the senders reach no window of their own.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "protocol/session.h"

namespace pw::interactive {

struct SendServices {
  // The commands' own lines: the log file only.
  std::function<void(std::string_view)> log;
  // The connection step's lines: the log list of the window of the mode.
  std::function<void(std::string_view)> window_log;
  // The window's ConnectToServer: true once the handshake has passed, with
  // peer_name set to the name the other end told in it (the station's name
  // at the office; a station leaves it empty). It logs its own failures and
  // never raises.
  std::function<bool(protocol::Session&, const std::string& address, int port,
                     std::string& peer_name)>
      connect;
  // The window's DisconnectFromServer (it logs its own line).
  std::function<void(protocol::Session&)> disconnect;
};

}  // namespace pw::interactive
