#include "platform/connected_state.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace pw::platform {

namespace {

class InterfaceConnectedState final : public ConnectedStateQuery {
 public:
  bool GetConnectedState(std::uint32_t& flags) override {
    flags = 0;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
      if (a->ifa_addr == nullptr || (a->ifa_flags & IFF_UP) == 0 ||
          (a->ifa_flags & IFF_LOOPBACK) != 0)
        continue;
      const int family = a->ifa_addr->sa_family;
      if (family == AF_INET || family == AF_INET6) {
        flags = kConnectionLan;
        break;
      }
    }
    ::freeifaddrs(list);
    return flags != 0;
  }
};

}  // namespace

ConnectedStateQuery& SystemConnectedState() {
  static InterfaceConnectedState state;
  return state;
}

}  // namespace pw::platform
