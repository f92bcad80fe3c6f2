// The machine's own addresses and name.
#include "platform/tcp.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_error.h"
#include "platform/posix/socket_support.h"
#include "text/cp1251.h"

namespace pw::platform {

// ---------------------------------------------------------------------------
// Local addresses

std::vector<std::string> LocalIpAddresses() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) ThrowPosixError("getifaddrs", "", errno);
  std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);

  std::vector<std::string> outside, loopback;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in a;
    std::memcpy(&a, i->ifa_addr, sizeof a);
    const bool is_loopback = (i->ifa_flags & IFF_LOOPBACK) != 0 ||
                             (ntohl(a.sin_addr.s_addr) >> 24) == 127;
    (is_loopback ? loopback : outside).push_back(AddressText(a));
  }
  return OutsideThenLoopback(std::move(outside), std::move(loopback));
}

std::string LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) ThrowPosixError("gethostname", "", errno);
  return text::cp1251_from_utf8(name);
}

}  // namespace pw::platform
