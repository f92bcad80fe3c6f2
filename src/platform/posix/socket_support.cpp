#include "platform/posix/socket_support.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/posix/posix_error.h"

namespace pw::platform {

short PollOne(int fd, short events, const Deadline& deadline, const std::string& subject) {
  for (;;) {
    const int wait_ms = MillisecondsLeft(deadline);
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, wait_ms);
    if (n > 0) return p.revents;
    if (n < 0 && errno != EINTR) ThrowPosixError("poll", subject, errno);
    if (n == 0 && wait_ms == 0) return 0;
    // Interrupted, or woken a little early: wait for the rest.
  }
}

void SetKeepAlive(int fd) noexcept {
  auto set = [fd](int level, int name, int value) {
    ::setsockopt(fd, level, name, &value, sizeof value);
  };
  set(SOL_SOCKET, SO_KEEPALIVE, 1);
  set(IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleS);
  set(IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalS);
  set(IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
}

std::string AddressText(const sockaddr_in& a) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  return text;
}

}  // namespace pw::platform
