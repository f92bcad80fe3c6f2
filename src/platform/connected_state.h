// Whether this computer is connected, as the system reports it (Windows:
// InternetGetConnectedStateEx).
#pragma once

#include <cstdint>

namespace pw::platform {

// The connection flags of the answer.
inline constexpr std::uint32_t kConnectionModem = 1;
inline constexpr std::uint32_t kConnectionLan = 2;
inline constexpr std::uint32_t kConnectionProxy = 4;

class ConnectedStateQuery {
 public:
  virtual ~ConnectedStateQuery() = default;
  // The call's own success, and in flags (overwritten) what kind of
  // connection there is. Never raises; any thread.
  virtual bool GetConnectedState(std::uint32_t& flags) = 0;
};

// The system's answer. Here: an interface other than loopback that is up
// and has an address counts as a LAN connection (success, flags = LAN);
// none gives failure with flags 0.
ConnectedStateQuery& SystemConnectedState();

}  // namespace pw::platform
