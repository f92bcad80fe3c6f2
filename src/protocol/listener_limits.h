// What both listeners put around their TcpServer: the caps on connections
// from the settings, and the log lines that report refused connections and
// connections closed to make room.
#pragma once

#include <string>

#include "platform/tcp.h"

namespace pw::protocol {

// MaxConnections and MaxConnectionsPerIP as they stand now, and the share
// of MaxConnections that connections in their handshake may hold.
platform::TcpServer::Limits ListenerLimits();

// The log line of one report of a burst of refusals or of closes for room.
std::string RefusalLine(const platform::TcpServer::Refusals& report);

// Writes each report to the log file (not to a window: the accept thread
// must not wait for the main thread).
void LogRefusals(const platform::TcpServer::Refusals& report);

}  // namespace pw::protocol
