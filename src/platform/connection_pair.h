// Two connected ends of an in-memory stream, each a TcpConnection: what one
// writes the other reads, with the same buffered reads, time limits and
// close as over the network, and no port. For feeding a listener's code a
// peer's bytes in-process. Linux and other POSIX systems only (a local
// socket pair); there is no Windows backend.
#pragma once

#include <string_view>
#include <utility>

#include "platform/tcp.h"

namespace pw::platform {

// Raises pw::Error when the system cannot make the pair. Neither end has a
// peer address (PeerAddress() is "0.0.0.0" or empty).
std::pair<TcpConnection, TcpConnection> ConnectionPair();

// The pair with sent already sent by the second end, which has then closed
// its sending side: the first end reads those bytes, then ConnectionClosed.
// What the first end writes waits unread in the second, which the caller
// keeps open, up to the system's buffer. Raises pw::Error when sent does
// not fit in the buffer (some 200 KB).
std::pair<TcpConnection, TcpConnection> ConnectionPairAfterSending(std::string_view sent);

}  // namespace pw::platform
