// What the Winsock TCP files share: starting Winsock, new sockets and event
// objects, the one wait on events, address text, and the way into
// TcpConnection's private parts.
//
// Every socket is tied to an event object with WSAEventSelect, which also
// makes it non-blocking. A call is always tried first and waited for only
// when it would block: the call that failed re-arms the event, so nothing
// that happens after it goes unnoticed.
#pragma once

#include <winsock2.h>

#include <initializer_list>
#include <string>

#include "platform/tcp.h"
#include "platform/tcp_backend.h"
#include "platform/win32/scoped_socket.h"

namespace pw::platform {

// Starts Winsock once per process, on the first call from any thread; every
// way into the TCP files that makes a socket or resolves a name calls it.
void StartWinsock();

// A TCP socket that child processes do not inherit.
ScopedSocket NewTcpSocket(const std::string& subject);

// Keeps a socket (one accept made) from child processes.
void KeepFromChildren(SOCKET s) noexcept;

ScopedWsaEvent NewEvent(const std::string& subject);

// Ties the network events of s (FD_READ | ...) to event.
void SelectEvents(SOCKET s, WSAEVENT event, long network_events, const std::string& subject);

// Waits until one of events is set or the deadline passes (none: without
// limit): the index of a set event, the lowest first, or -1 when the time is
// up. Resets nothing.
int WaitForAny(std::initializer_list<WSAEVENT> events, const Deadline& deadline,
               const std::string& subject);

std::string AddressText(const sockaddr_in& a);

// Turns keep-alive on for an accepted socket, with the idle time and
// interval of kKeepAlive* (the count is the system's own). A system that
// refuses keeps its own values.
void SetKeepAlive(SOCKET s) noexcept;

// Dotted IPv4 text, strictly: four decimal parts of 0..255.
bool ParseIPv4(const std::string& text, in_addr& out);

// The parts of TcpConnection the other TCP files use from outside the class.
struct TcpAccess {
  // Takes a connected socket; it is closed if the connection cannot be made.
  static TcpConnection Adopt(ScopedSocket s);

  // Hands the socket back when one call on it ends.
  struct Lease;
};

}  // namespace pw::platform
