#include "platform/own_listeners.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

#include <set>
#include <vector>

namespace pw::platform {

std::vector<int> OwnListeningPorts() {
  std::vector<unsigned char> table(16 * 1024);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(table.size());
    const DWORD rc = ::GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET,
                                           TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (rc == ERROR_INSUFFICIENT_BUFFER) {
      table.resize(size);
      continue;
    }
    if (rc != NO_ERROR) return {};
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    const DWORD self = ::GetCurrentProcessId();
    std::set<int> ports;
    for (DWORD i = 0; i < rows->dwNumEntries; ++i)
      if (rows->table[i].dwOwningPid == self)
        ports.insert(ntohs(static_cast<u_short>(rows->table[i].dwLocalPort)));
    return {ports.begin(), ports.end()};
  }
  return {};
}

}  // namespace pw::platform
