#include "platform/win32/socket_support.h"

#include <windows.h>
#include <mstcpip.h>

#include <cstring>

#include "platform/win32/win32_error.h"

namespace pw::platform {

void StartWinsock() {
  // Started once and never cleaned up: the process may hold sockets until
  // it ends, and WSACleanup may not run while a library unloads.
  static const int result = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (result != 0) ThrowWin32Error("WSAStartup", "", static_cast<unsigned long>(result));
}

void KeepFromChildren(SOCKET s) noexcept {
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

ScopedSocket NewTcpSocket(const std::string& subject) {
  StartWinsock();
  ScopedSocket s(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
  if (!s.valid() && ::WSAGetLastError() == WSAEINVAL) {
    // A system older than the flag: take the handle from children at once.
    s.reset(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED));
    if (s.valid()) KeepFromChildren(s.get());
  }
  if (!s.valid()) ThrowWin32Error("socket", subject, ::WSAGetLastError());
  return s;
}

ScopedWsaEvent NewEvent(const std::string& subject) {
  ScopedWsaEvent e(::WSACreateEvent());
  if (e.get() == WSA_INVALID_EVENT) ThrowWin32Error("WSACreateEvent", subject, ::WSAGetLastError());
  return e;
}

void SelectEvents(SOCKET s, WSAEVENT event, long network_events, const std::string& subject) {
  if (::WSAEventSelect(s, event, network_events) != 0)
    ThrowWin32Error("WSAEventSelect", subject, ::WSAGetLastError());
}

int WaitForAny(std::initializer_list<WSAEVENT> events, const Deadline& deadline,
               const std::string& subject) {
  const DWORD count = static_cast<DWORD>(events.size());
  for (;;) {
    const int wait_ms = MillisecondsLeft(deadline);
    const DWORD n = ::WSAWaitForMultipleEvents(
        count, events.begin(), FALSE, wait_ms < 0 ? WSA_INFINITE : static_cast<DWORD>(wait_ms), FALSE);
    if (n < WSA_WAIT_EVENT_0 + count) return static_cast<int>(n - WSA_WAIT_EVENT_0);
    if (n == WSA_WAIT_FAILED) ThrowWin32Error("WSAWaitForMultipleEvents", subject, ::WSAGetLastError());
    if (wait_ms == 0) return -1;
    // Woken a little early by the timer's grain: wait for the rest.
  }
}

void SetKeepAlive(SOCKET s) noexcept {
  const BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
  // Every Windows since 2000 takes the times this way, in milliseconds.
  tcp_keepalive values{};
  values.onoff = 1;
  values.keepalivetime = static_cast<ULONG>(kKeepAliveIdleS) * 1000;
  values.keepaliveinterval = static_cast<ULONG>(kKeepAliveIntervalS) * 1000;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}

std::string AddressText(const sockaddr_in& a) {
  const auto* b = reinterpret_cast<const unsigned char*>(&a.sin_addr);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

bool ParseIPv4(const std::string& text, in_addr& out) {
  unsigned char bytes[4];
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
    const std::size_t start = at;
    unsigned value = 0;
    while (at < text.size() && at - start < 4 && text[at] >= '0' && text[at] <= '9')
      value = value * 10 + static_cast<unsigned>(text[at++] - '0');
    const std::size_t digits = at - start;
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[start] == '0')) return false;
    bytes[part] = static_cast<unsigned char>(value);
  }
  if (at != text.size()) return false;
  static_assert(sizeof bytes == sizeof out);
  std::memcpy(&out, bytes, sizeof bytes);
  return true;
}

}  // namespace pw::platform
