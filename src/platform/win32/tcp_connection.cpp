// TCP over Winsock: one connection. The socket's network events and a wake-up
// event that Disconnect sets are waited on together, so another thread ends
// any wait at once without touching the socket under it.
#include "platform/tcp.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "platform/win32/socket_support.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"

namespace pw::platform {

namespace {

// One send or recv takes an int count.
int CallSize(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

void SetNoDelay(SOCKET s) {
  const BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// Reads and drops what the peer sent and nobody read, so that closing sends
// an orderly FIN rather than a reset that could wipe out our last reply in
// the peer's input. The socket is non-blocking: this never waits.
void DropUnreadInput(SOCKET s) {
  char scrap[4096];
  for (int round = 0; round < 16; ++round)
    if (::recv(s, scrap, sizeof scrap, 0) <= 0) return;
}

// The text of a connect that failed with err; the two ends of our own
// making read as the header promises.
[[noreturn]] void ThrowConnectError(const std::string& subject, int err) {
  if (err == WSAETIMEDOUT)
    throw Error("connect " + subject + ": Connection timed out", ErrorKind::kTimeout);
  if (err == WSAECANCELLED) throw Error("connect " + subject + ": Operation canceled");
  ThrowWin32Error("connect", subject, static_cast<unsigned long>(err));
}

}  // namespace

// ---------------------------------------------------------------------------
// TcpConnection

struct TcpConnection::Socket {
  explicit Socket(ScopedSocket connected)
      : network(NewEvent("")), woken(NewEvent("")), s(std::move(connected)) {
    MutexLock lock(mu);
    SelectEvents(s.get(), network.get(), FD_READ | FD_WRITE | FD_CLOSE, "");
  }

  // Closes the socket and marks the connection closed; the socket itself
  // only once no owner call is inside a system call on it.
  void CloseLocked(std::atomic<bool>& closed) noexcept EXCLUSIVE_LOCKS_REQUIRED(mu);

  // Waits for the next network event on s or for Disconnect; false when
  // the time is up. The owner's, holding s.
  bool Wait(SOCKET held, const Deadline& deadline, const std::string& subject) {
    const int which = WaitForAny({network.get(), woken.get()}, deadline, subject);
    if (which == 0) {
      // Clears the events seen; the call tried next re-arms what it needs.
      WSANETWORKEVENTS seen;
      ::WSAEnumNetworkEvents(held, network.get(), &seen);
    }
    return which >= 0;
  }

  // Fixed for the socket's life, which they outlast: set by its network
  // events, and for good by Disconnect.
  const ScopedWsaEvent network, woken;
  Mutex mu;
  ScopedSocket s GUARDED_BY(mu);
  int users GUARDED_BY(mu) = 0;  // owner calls inside a system call on s
};

struct TcpAccess::Lease {
  TcpConnection& connection;
  ~Lease() { connection.ReleaseSocket(); }
};

TcpConnection TcpAccess::Adopt(ScopedSocket s) {
  return TcpConnection(TcpConnection::SocketPtr(new TcpConnection::Socket(std::move(s))));
}

void TcpConnection::SocketDeleter::operator()(Socket* socket) const noexcept { delete socket; }

TcpConnection::TcpConnection(SocketPtr socket)
    : socket_(std::move(socket)), closed_(false),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
  // No other thread knows the socket yet: the lock is only taken to read
  // the handle, which stays valid while this constructor runs.
  const SOCKET s = [&] {
    MutexLock lock(socket_->mu);
    return socket_->s.get();
  }();
  SetNoDelay(s);
  sockaddr_in a{};
  int len = sizeof a;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    peer_address_ = AddressText(a);
    peer_port_ = ntohs(a.sin_port);
  }
  a = {};
  len = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    local_address_ = AddressText(a);
    local_port_ = ntohs(a.sin_port);
  }
}

namespace {

// Waits until the connect under way on s ends (true, with its outcome in
// err) or the time is up or cancelled turns true (false, err saying which).
bool AwaitConnect(SOCKET s, WSAEVENT connecting, const Deadline& deadline,
                  const std::atomic<bool>* cancelled, const std::string& subject, int& err) {
  for (;;) {
    if (WaitForAny({connecting}, NextConnectLook(deadline, cancelled), subject) == 0) {
      WSANETWORKEVENTS seen{};
      if (::WSAEnumNetworkEvents(s, connecting, &seen) != 0) {
        err = ::WSAGetLastError();
        return true;
      }
      if ((seen.lNetworkEvents & FD_CONNECT) != 0) {
        err = seen.iErrorCode[FD_CONNECT_BIT];
        return true;
      }
      continue;
    }
    switch (ConnectStopNow(deadline, cancelled)) {
      case ConnectStop::kNone: continue;
      case ConnectStop::kCancelled: err = WSAECANCELLED; return false;
      case ConnectStop::kTimedOut: err = WSAETIMEDOUT; return false;
    }
  }
}

}  // namespace

TcpConnection TcpConnection::Connect(const std::string& host, int port, int connect_timeout_ms,
                                     const std::atomic<bool>* cancelled) {
  const std::string subject = Endpoint(host, port);
  if (port <= 0 || port > 65535) throw Error("connect " + subject + ": port out of range");
  const Deadline deadline = DeadlineAfter(connect_timeout_ms);
  StartWinsock();

  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* found = nullptr;
  // Windows resolves "" to this machine's own addresses; an empty recipient
  // must fail as it does elsewhere, not reach whatever listens here.
  if (host.empty()) ThrowWin32Error("getaddrinfo", host, WSAHOST_NOT_FOUND);
  const int rc =
      ::GetAddrInfoW(Wide(host).c_str(), std::to_wstring(port).c_str(), &hints, &found);
  if (rc != 0) ThrowWin32Error("getaddrinfo", host, static_cast<unsigned long>(rc));
  std::unique_ptr<ADDRINFOW, decltype(&::FreeAddrInfoW)> list(found, &::FreeAddrInfoW);

  const ScopedWsaEvent connecting = NewEvent(subject);
  int last_error = WSAECONNREFUSED;
  for (const ADDRINFOW* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
    ScopedSocket s = NewTcpSocket(subject);
    ::WSAResetEvent(connecting.get());
    SelectEvents(s.get(), connecting.get(), FD_CONNECT, subject);
    int err = 0;
    if (::connect(s.get(), ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0)
      err = ::WSAGetLastError();
    // The one time limit covers every address.
    if (err == WSAEWOULDBLOCK && !AwaitConnect(s.get(), connecting.get(), deadline, cancelled,
                                               subject, err)) {
      last_error = err;
      break;
    }
    if (err == 0) return TcpAccess::Adopt(std::move(s));
    last_error = err;
  }
  ThrowConnectError(subject, last_error);
}

// The handle is given out under the lock and used after it is let go: the
// count of users, not the lock, keeps it from being closed and reused while
// the call runs, which the analysis cannot follow.
std::intptr_t TcpConnection::AcquireSocket() {
  if (!socket_) return -1;
  MutexLock lock(socket_->mu);
  if (closed_.load() || !socket_->s.valid()) return -1;
  ++socket_->users;
  return static_cast<std::intptr_t>(socket_->s.get());
}

void TcpConnection::ReleaseSocket() noexcept {
  MutexLock lock(socket_->mu);
  --socket_->users;
  if (closed_.load() && socket_->users == 0) socket_->CloseLocked(closed_);
}

void TcpConnection::Socket::CloseLocked(std::atomic<bool>& closed) noexcept {
  if (!s.valid()) return;
  closed.store(true);
  ::WSASetEvent(woken.get());
  // The owner is waiting on the socket: it wakes, and closes the socket
  // when it lets go, so the handle is never reused under it.
  if (users > 0) return;
  DropUnreadInput(s.get());
  ::shutdown(s.get(), SD_SEND);
  s.reset();
}

void TcpConnection::Disconnect() noexcept {
  if (!socket_) return;
  MutexLock lock(socket_->mu);
  socket_->CloseLocked(closed_);
}

namespace {

SOCKET Held(std::intptr_t acquired) { return static_cast<SOCKET>(acquired); }

}  // namespace

std::size_t TcpConnection::Receive(char* data, std::size_t max) {
  if (peer_closed_) throw ConnectionClosed();
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) throw ConnectionClosed();
  const TcpAccess::Lease lease{*this};

  const Deadline deadline = NextReadDeadline();
  for (;;) {
    if (closed_.load()) throw ConnectionClosed();
    const int n = ::recv(s, data, CallSize(max), 0);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) {
      peer_closed_ = true;
      throw ConnectionClosed();
    }
    const int err = ::WSAGetLastError();
    if (err == WSAEWOULDBLOCK || err == WSAEINTR) {
      if (!socket_->Wait(s, deadline, peer_address_)) throw ReadTimeout();
      continue;
    }
    if (closed_.load()) throw ConnectionClosed();
    peer_closed_ = true;
    ThrowWin32Error("recv", peer_address_, static_cast<unsigned long>(err));
  }
}

bool TcpConnection::WaitReadable(int ms) {
  if (closed_.load() || pos_ < end_ || peer_closed_) return true;
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) return true;
  const TcpAccess::Lease lease{*this};
  const Deadline deadline = DeadlineWithin(ms);
  for (;;) {
    if (closed_.load()) return true;
    char byte;
    // Data or the peer's close, or a failure the read would raise at once.
    if (::recv(s, &byte, 1, MSG_PEEK) >= 0) return true;
    const int err = ::WSAGetLastError();
    if (err != WSAEWOULDBLOCK && err != WSAEINTR) return true;
    if (!socket_->Wait(s, deadline, peer_address_)) return false;
  }
}

bool TcpConnection::Pause(int ms) {
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) return false;
  const TcpAccess::Lease lease{*this};
  // Only Disconnect's wake-up ends the wait early; the peer's bytes do not.
  // A wait may end a tick before its time: it is taken up again until the
  // time has truly passed, as a turn is a promise not to come sooner.
  const Deadline until = DeadlineAfter(std::max(ms, 1));
  do {
    if (WaitForAny({socket_->woken.get()}, until, peer_address_) >= 0 || closed_.load()) return false;
  } while (Clock::now() < *until);
  return true;
}

TcpConnection::KeepAlive TcpConnection::KeepAliveInForce() {
  KeepAlive k;
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) return k;
  const TcpAccess::Lease lease{*this};
  BOOL on = FALSE;
  int len = sizeof on;
  k.on = ::getsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), &len) == 0 && on;
  return k;  // the times set through SIO_KEEPALIVE_VALS cannot be read back
}

bool TcpConnection::Connected() {
  if (closed_.load()) return false;
  if (pos_ < end_) return true;
  if (peer_closed_) return false;
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) return false;
  const TcpAccess::Lease lease{*this};
  char byte;
  const int n = ::recv(s, &byte, 1, MSG_PEEK);  // the socket never blocks
  if (n == 0) peer_closed_ = true;
  if (n < 0) {
    const int err = ::WSAGetLastError();
    if (err != WSAEWOULDBLOCK && err != WSAEINTR) peer_closed_ = true;
  }
  return !peer_closed_ && !closed_.load();
}

bool TcpConnection::PeerHasClosed() {
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) return false;
  const TcpAccess::Lease lease{*this};
  char byte;
  const int n = ::recv(s, &byte, 1, MSG_PEEK);  // the socket never blocks
  if (n == 0) return true;
  if (n > 0) return false;
  const int err = ::WSAGetLastError();
  return err != WSAEWOULDBLOCK && err != WSAEINTR;
}

void TcpConnection::WriteAll(const void* data, std::size_t size) {
  const SOCKET s = Held(AcquireSocket());
  if (s == INVALID_SOCKET) throw Error("Not Connected.", ErrorKind::kClosed);
  const TcpAccess::Lease lease{*this};

  const char* in = static_cast<const char*>(data);
  while (size > 0) {
    // Disconnect leaves the socket open under a waiting owner: stop here.
    if (closed_.load()) throw Error("Not Connected.", ErrorKind::kClosed);
    const int n = ::send(s, in, CallSize(size), 0);
    if (n >= 0) {
      in += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    const int err = ::WSAGetLastError();
    if (closed_.load()) throw Error("Not Connected.", ErrorKind::kClosed);
    if (err == WSAEWOULDBLOCK || err == WSAEINTR) {
      socket_->Wait(s, std::nullopt, peer_address_);
      continue;
    }
    ThrowWin32Error("send", peer_address_, static_cast<unsigned long>(err));
  }
}

// Windows keeps the copy path: the file's bytes go through a buffer, sent
// as WriteAll sends memory.
const bool TcpConnection::kSendsFromFileCache = false;

std::size_t TcpConnection::SendFromFile(ReadableFile& file, std::uint64_t offset,
                                        std::size_t count) {
  constexpr std::size_t kPiece = 256 * 1024;
  std::vector<char> piece(std::min(count, kPiece));
  std::size_t sent = 0;
  while (sent < count) {
    const std::size_t n = file.ReadAt(offset + sent, piece.data(), std::min(count - sent, piece.size()));
    if (n == 0) break;  // the file ends here
    WriteAll(piece.data(), n);
    sent += n;
  }
  return sent;
}

}  // namespace pw::platform
