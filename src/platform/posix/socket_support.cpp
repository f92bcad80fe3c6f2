#include "platform/posix/socket_support.h"

#include <arpa/inet.h>
#include <poll.h>

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

std::string AddressText(const sockaddr_in& a) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  return text;
}

}  // namespace pw::platform
