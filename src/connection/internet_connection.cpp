#include "connection/internet_connection.h"

namespace pw::connection {

// Placeholder until the connection library and the dial-up step are built:
// the exchange always goes on and nothing is taken down afterwards.
bool ConnectBeforeExchange(const LogLine&) { return true; }

void DisconnectAfterExchange() {}

}  // namespace pw::connection
