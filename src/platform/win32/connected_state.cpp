#include "platform/connected_state.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

namespace pw::platform {

namespace {

class InternetConnectedState final : public ConnectedStateQuery {
 public:
  bool GetConnectedState(std::uint32_t& flags) override {
    DWORD answer = 0;
    const bool ok = ::InternetGetConnectedStateExW(&answer, nullptr, 0, 0) != FALSE;
    flags = 0;
    if ((answer & INTERNET_CONNECTION_MODEM) != 0) flags |= kConnectionModem;
    if ((answer & INTERNET_CONNECTION_LAN) != 0) flags |= kConnectionLan;
    if ((answer & INTERNET_CONNECTION_PROXY) != 0) flags |= kConnectionProxy;
    return ok;
  }
};

}  // namespace

ConnectedStateQuery& SystemConnectedState() {
  static InternetConnectedState state;
  return state;
}

}  // namespace pw::platform
