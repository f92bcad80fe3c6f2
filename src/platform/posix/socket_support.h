// What the POSIX TCP files share: the one poll() wait, address text, and the
// way into TcpConnection's private parts.
#pragma once

#include <netinet/in.h>

#include <string>

#include "platform/posix/scoped_fd.h"
#include "platform/tcp.h"
#include "platform/tcp_backend.h"

namespace pw::platform {

// Waits for events on fd until the deadline (none: without limit) and
// returns the events that came, 0 when the time is up.
short PollOne(int fd, short events, const Deadline& deadline, const std::string& subject);

std::string AddressText(const sockaddr_in& a);

// Turns keep-alive on for an accepted socket, with the probes of
// kKeepAlive*. A system that refuses an option keeps its own value.
void SetKeepAlive(int fd) noexcept;

// The parts of TcpConnection the other TCP files use from outside the class.
struct TcpAccess {
  // Takes a connected socket; it is closed if the connection cannot be made.
  static TcpConnection Adopt(ScopedFd fd);

  // Hands the socket back when one call on it ends.
  struct Lease;
};

}  // namespace pw::platform
