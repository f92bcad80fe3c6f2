#include "platform/connection_pair.h"

#include <sys/socket.h>

#include <cerrno>

#include "platform/posix/posix_error.h"
#include "platform/posix/scoped_fd.h"
#include "platform/posix/socket_support.h"

namespace pw::platform {

namespace {

struct FdPair {
  ScopedFd first, second;
};

FdPair SocketPair() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    ThrowPosixError("socketpair", "AF_UNIX", errno);
  return {ScopedFd(fds[0]), ScopedFd(fds[1])};
}

std::pair<TcpConnection, TcpConnection> Adopted(FdPair fds) {
  TcpConnection first = TcpAccess::Adopt(std::move(fds.first));
  TcpConnection second = TcpAccess::Adopt(std::move(fds.second));
  return {std::move(first), std::move(second)};
}

}  // namespace

std::pair<TcpConnection, TcpConnection> ConnectionPair() { return Adopted(SocketPair()); }

std::pair<TcpConnection, TcpConnection> ConnectionPairAfterSending(std::string_view sent) {
  FdPair fds = SocketPair();
  // Never waits: the bytes go into the buffer or the call fails.
  while (!sent.empty()) {
    const ssize_t n = ::send(fds.second.get(), sent.data(), sent.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowPosixError("send", "AF_UNIX", errno);
    sent.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::shutdown(fds.second.get(), SHUT_WR) != 0) ThrowPosixError("shutdown", "AF_UNIX", errno);
  return Adopted(std::move(fds));
}

}  // namespace pw::platform
