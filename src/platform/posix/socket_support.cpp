#include "platform/posix/socket_support.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/posix/posix_error.h"

namespace pw::platform {

Deadline DeadlineAfter(int ms) {
  if (ms <= 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

std::string Endpoint(const std::string& host, int port) { return host + ":" + std::to_string(port); }

short PollOne(int fd, short events, const Deadline& deadline, const std::string& subject) {
  for (;;) {
    int wait_ms = -1;
    if (deadline) {
      const auto left = *deadline - Clock::now();
      if (left <= Clock::duration::zero()) wait_ms = 0;
      else wait_ms = static_cast<int>(std::min<std::int64_t>(
               std::chrono::ceil<std::chrono::milliseconds>(left).count(), 1 << 30));
    }
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
