// The Internet connection around one exchange. Every outgoing exchange runs,
// on its own worker thread: ConnectBeforeExchange before it connects (false:
// skip the connection and the work), and DisconnectAfterExchange after it has
// ended without an error.
#pragma once

#include <functional>
#include <string_view>

namespace pw::connection {

// Where the connection step writes its lines: the log list of the connection
// window of the current mode, through AddToLog.
using LogLine = std::function<void(std::string_view)>;

// The connection library's Connect when the library is present, else the
// connected-state query and the dial-up step. True when the exchange may go on.
bool ConnectBeforeExchange(const LogLine& log);

// After an exchange that ended without an error: the library's Disconnect when
// the library is present, reports its connection up and asks for it.
void DisconnectAfterExchange();

}  // namespace pw::connection
