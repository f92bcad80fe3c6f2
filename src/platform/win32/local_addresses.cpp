// The machine's own addresses and name.
#include "platform/tcp.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/socket_support.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"

namespace pw::platform {

// ---------------------------------------------------------------------------
// Local addresses

std::vector<std::string> LocalIpAddresses() {
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  // The list may grow between asking its size and reading it: ask again.
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG rc = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    rc = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (rc == ERROR_NO_DATA) return {};
  if (rc != ERROR_SUCCESS) ThrowWin32Error("GetAdaptersAddresses", "", rc);

  std::vector<std::string> outside, loopback;
  for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr; adapter = adapter->Next) {
    for (const auto* u = adapter->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const SOCKADDR* address = u->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      sockaddr_in a;
      std::memcpy(&a, address, sizeof a);
      // The first byte read as it lies: the list needs no Winsock started.
      const bool is_loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK ||
                               reinterpret_cast<const unsigned char*>(&a.sin_addr)[0] == 127;
      (is_loopback ? loopback : outside).push_back(AddressText(a));
    }
  }
  return OutsideThenLoopback(std::move(outside), std::move(loopback));
}

std::string LocalHostName() {
  DWORD size = 0;
  ::GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);  // asks the size
  std::wstring name(size, L'\0');
  if (size == 0 || !::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size))
    ThrowLastError("GetComputerNameEx", "");
  name.resize(size);
  return Narrow(name);
}

}  // namespace pw::platform
