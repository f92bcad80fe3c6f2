// TCP over BSD sockets: one connection. Every socket is non-blocking; each
// wait is a poll() with the caller's limit, so no call sleeps in the kernel
// beyond it, and a shutdown() from another thread wakes any wait on the
// socket.
#include "platform/tcp.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/posix/file_access.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/socket_support.h"
#include "text/cp1251.h"

namespace pw::platform {

namespace {

void SetNoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Reads and drops what the peer sent and nobody read, so that closing sends
// an orderly FIN rather than a reset that could wipe out our last reply in
// the peer's input.
void DropUnreadInput(int fd) {
  char scrap[4096];
  for (int round = 0; round < 16; ++round) {
    const ssize_t n = ::recv(fd, scrap, sizeof scrap, MSG_DONTWAIT);
    if (n <= 0 && !(n < 0 && errno == EINTR)) return;
  }
}

// After a send on fd failed with err: true when the send is to be made
// again (interrupted, or the socket's buffer was full and has room now).
bool SendAgain(int fd, int err, const std::atomic<bool>& closed, const std::string& peer) {
  if (closed.load()) throw Error("Not Connected.", ErrorKind::kClosed);
  if (err == EINTR) return true;
  if (err != EAGAIN && err != EWOULDBLOCK) return false;
  PollOne(fd, POLLOUT, std::nullopt, peer);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// TcpConnection

struct TcpConnection::Socket {
  explicit Socket(ScopedFd connected) : fd(std::move(connected)) {}

  // Closes the socket and marks the connection closed; the descriptor
  // itself only once no owner call is inside a system call on it.
  void CloseLocked(std::atomic<bool>& closed) noexcept EXCLUSIVE_LOCKS_REQUIRED(mu);

  Mutex mu;
  ScopedFd fd GUARDED_BY(mu);
  int users GUARDED_BY(mu) = 0;  // owner calls inside a system call on fd
};

struct TcpAccess::Lease {
  TcpConnection& connection;
  ~Lease() { connection.ReleaseSocket(); }
};

TcpConnection TcpAccess::Adopt(ScopedFd fd) {
  return TcpConnection(TcpConnection::SocketPtr(new TcpConnection::Socket(std::move(fd))));
}

void TcpConnection::SocketDeleter::operator()(Socket* socket) const noexcept { delete socket; }

TcpConnection::TcpConnection(SocketPtr socket)
    : socket_(std::move(socket)), closed_(false),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
  // No other thread knows the socket yet: the lock is only taken to read
  // the number, which stays valid while this constructor runs.
  const int fd = [&] {
    MutexLock lock(socket_->mu);
    return socket_->fd.get();
  }();
  SetNoDelay(fd);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    peer_address_ = AddressText(a);
    peer_port_ = ntohs(a.sin_port);
  }
  a = {};
  len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    local_address_ = AddressText(a);
    local_port_ = ntohs(a.sin_port);
  }
}

namespace {

// Waits until the connect under way on fd ends (true) or the time is up or
// cancelled turns true (false, with last_error set).
bool AwaitConnect(int fd, const Deadline& deadline, const std::atomic<bool>* cancelled,
                  const std::string& subject, int& last_error) {
  for (;;) {
    if (PollOne(fd, POLLOUT, NextConnectLook(deadline, cancelled), subject) != 0) return true;
    switch (ConnectStopNow(deadline, cancelled)) {
      case ConnectStop::kNone: continue;
      case ConnectStop::kCancelled: last_error = ECANCELED; return false;
      case ConnectStop::kTimedOut: last_error = ETIMEDOUT; return false;
    }
  }
}

}  // namespace

TcpConnection TcpConnection::Connect(const std::string& host, int port, int connect_timeout_ms,
                                     const std::atomic<bool>* cancelled) {
  const std::string subject = Endpoint(host, port);
  if (port <= 0 || port > 65535) throw Error("connect " + subject + ": port out of range");
  const Deadline deadline = DeadlineAfter(connect_timeout_ms);

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc == EAI_SYSTEM) ThrowPosixError("getaddrinfo", host, errno);
  if (rc != 0) throw Error("getaddrinfo " + host + ": " + text::cp1251_from_utf8(::gai_strerror(rc)));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  int last_error = ECONNREFUSED;
  for (const addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
    ScopedFd fd(::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) ThrowPosixError("socket", subject, errno);
    int err = 0;
    if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) err = errno;
    if (err == EINPROGRESS || err == EINTR) {
      // A connect interrupted by a signal goes on in the background, as one
      // in progress does; the socket turns writable when it ends either way.
      // The one time limit covers every address.
      if (!AwaitConnect(fd.get(), deadline, cancelled, subject, last_error)) break;
      socklen_t len = sizeof err;
      if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    }
    if (err == 0) return TcpAccess::Adopt(std::move(fd));
    last_error = err;
  }
  ThrowPosixError("connect", subject, last_error);
}

// The number is handed out under the lock and used after it is let go: the
// count of users, not the lock, keeps it from being closed and reused while
// the call runs, which the analysis cannot follow.
std::intptr_t TcpConnection::AcquireSocket() {
  if (!socket_) return -1;
  MutexLock lock(socket_->mu);
  if (closed_.load() || !socket_->fd.valid()) return -1;
  ++socket_->users;
  return socket_->fd.get();
}

void TcpConnection::ReleaseSocket() noexcept {
  MutexLock lock(socket_->mu);
  --socket_->users;
  if (closed_.load() && socket_->users == 0) socket_->CloseLocked(closed_);
}

void TcpConnection::Socket::CloseLocked(std::atomic<bool>& closed) noexcept {
  if (!fd.valid()) return;
  closed.store(true);
  if (users > 0) {
    // The owner is waiting on the socket: wake it, and let it close the
    // descriptor when it lets go, so the number is never reused under it.
    ::shutdown(fd.get(), SHUT_RDWR);
    return;
  }
  DropUnreadInput(fd.get());
  ::shutdown(fd.get(), SHUT_RDWR);
  fd.reset();
}

void TcpConnection::Disconnect() noexcept {
  if (!socket_) return;
  MutexLock lock(socket_->mu);
  socket_->CloseLocked(closed_);
}

std::size_t TcpConnection::Receive(char* data, std::size_t max) {
  if (peer_closed_) throw ConnectionClosed();
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) throw ConnectionClosed();
  const TcpAccess::Lease lease{*this};

  const Deadline deadline = NextReadDeadline();
  for (;;) {
    if (PollOne(fd, POLLIN, deadline, peer_address_) == 0) throw ReadTimeout();
    if (closed_.load()) throw ConnectionClosed();
    const ssize_t n = ::recv(fd, data, max, 0);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) {
      peer_closed_ = true;
      throw ConnectionClosed();
    }
    const int err = errno;
    if (err == EINTR || err == EAGAIN || err == EWOULDBLOCK) continue;
    if (closed_.load()) throw ConnectionClosed();
    peer_closed_ = true;
    ThrowPosixError("recv", peer_address_, err);
  }
}

bool TcpConnection::WaitReadable(int ms) {
  if (closed_.load() || pos_ < end_ || peer_closed_) return true;
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) return true;
  const TcpAccess::Lease lease{*this};
  return PollOne(fd, POLLIN, DeadlineWithin(ms), peer_address_) != 0 || closed_.load();
}

bool TcpConnection::Pause(int ms) {
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) return false;
  const TcpAccess::Lease lease{*this};
  // No events asked for: only a hang-up or an error wakes the poll, and
  // Disconnect's shutdown of both directions is a hang-up.
  const Deadline until = DeadlineAfter(std::max(ms, 1));
  do {
    if (PollOne(fd, 0, until, peer_address_) != 0 || closed_.load()) return false;
  } while (Clock::now() < *until);
  return true;
}

TcpConnection::KeepAlive TcpConnection::KeepAliveInForce() {
  KeepAlive k;
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) return k;
  const TcpAccess::Lease lease{*this};
  auto option = [fd](int level, int name) {
    int value = 0;
    socklen_t len = sizeof value;
    return ::getsockopt(fd, level, name, &value, &len) == 0 ? value : 0;
  };
  k.on = option(SOL_SOCKET, SO_KEEPALIVE) != 0;
  k.idle_s = option(IPPROTO_TCP, TCP_KEEPIDLE);
  k.interval_s = option(IPPROTO_TCP, TCP_KEEPINTVL);
  k.probes = option(IPPROTO_TCP, TCP_KEEPCNT);
  return k;
}

bool TcpConnection::Connected() {
  if (closed_.load()) return false;
  if (pos_ < end_) return true;
  if (peer_closed_) return false;
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) return false;
  const TcpAccess::Lease lease{*this};
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0) {
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
      peer_closed_ = true;
  }
  return !peer_closed_ && !closed_.load();
}

bool TcpConnection::PeerHasClosed() {
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) return false;
  const TcpAccess::Lease lease{*this};
#ifdef POLLRDHUP
  pollfd p{fd, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
#else
  char byte;
  const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
#endif
}

void TcpConnection::WriteAll(const void* data, std::size_t size) {
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) throw Error("Not Connected.", ErrorKind::kClosed);
  const TcpAccess::Lease lease{*this};

  const char* in = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(fd, in, size, MSG_NOSIGNAL);
    if (n >= 0) {
      in += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    const int err = errno;
    if (SendAgain(fd, err, closed_, peer_address_)) continue;
    ThrowPosixError("send", peer_address_, err);
  }
}

const bool TcpConnection::kSendsFromFileCache = true;

std::size_t TcpConnection::SendFromFile(ReadableFile& file, std::uint64_t offset,
                                        std::size_t count) {
  const int fd = static_cast<int>(AcquireSocket());
  if (fd < 0) throw Error("Not Connected.", ErrorKind::kClosed);
  const TcpAccess::Lease lease{*this};

  const int in = FileAccess::Descriptor(file);
  off_t at = static_cast<off_t>(offset);
  std::size_t sent = 0;
  while (sent < count) {
    const ssize_t n = ::sendfile(fd, in, &at, count - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) break;  // the file ends here
    const int err = errno;
    if (SendAgain(fd, err, closed_, peer_address_)) continue;
    // sendfile names neither end: a socket's error is the send's, the rest the file's.
    if (err == EPIPE || err == ECONNRESET || err == ENOTCONN) ThrowPosixError("send", peer_address_, err);
    ThrowPosixError("read", file.path(), err, ErrorKind::kFile);
  }
  return sent;
}

}  // namespace pw::platform
