// TCP over BSD sockets: listening. A TcpListener accepts on its owner's
// thread; a server's sockets are polled by its accept thread.
#include "platform/tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/posix/posix_error.h"
#include "platform/posix/socket_support.h"

namespace pw::platform {

namespace {

// A bound, listening, non-blocking socket; port 0 takes a free one.
ScopedFd OpenListeningSocket(const std::string& address, int port, int backlog) {
  const std::string subject = Endpoint(address.empty() ? "0.0.0.0" : address, port);
  if (port < 0 || port > 65535) throw Error("bind " + subject + ": port out of range");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (address.empty()) a.sin_addr.s_addr = htonl(INADDR_ANY);
  else if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1)
    throw Error("bind " + subject + ": not an IPv4 address");

  ScopedFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) ThrowPosixError("socket", subject, errno);
  const int on = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    ThrowPosixError("setsockopt", subject, errno);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    ThrowPosixError("bind", subject, errno);
  if (::listen(fd.get(), backlog) != 0) ThrowPosixError("listen", subject, errno);
  return fd;
}

int BoundPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    ThrowPosixError("getsockname", "", errno);
  return ntohs(a.sin_port);
}

// accept() errors after which the next connection may well succeed.
bool TransientAcceptError(int err) {
  return err == EAGAIN || err == EWOULDBLOCK || err == EINTR || err == ECONNABORTED ||
         err == EPROTO || err == EPERM || err == ENETDOWN || err == ENOPROTOOPT ||
         err == EHOSTDOWN || err == ENONET || err == EHOSTUNREACH || err == EOPNOTSUPP ||
         err == ENETUNREACH;
}

TcpConnection Accepted(ScopedFd fd) {
  SetKeepAlive(fd.get());
  return TcpAccess::Adopt(std::move(fd));
}

}  // namespace

// ---------------------------------------------------------------------------
// TcpListener

struct TcpListener::Socket {
  ScopedFd fd;
};

TcpListener::TcpListener(const std::string& address, int port, int backlog)
    : socket_(new Socket{OpenListeningSocket(address, port, backlog)}),
      port_(BoundPort(socket_->fd.get())) {}

TcpListener::~TcpListener() = default;

std::optional<TcpConnection> TcpListener::Accept(int timeout_ms) {
  const Deadline deadline = DeadlineWithin(timeout_ms);
  const std::string subject = Endpoint("listener", port_);
  for (;;) {
    const int listening = socket_->fd.get();
    if (PollOne(listening, POLLIN, deadline, subject) == 0) return std::nullopt;
    ScopedFd fd(::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.valid()) return Accepted(std::move(fd));
    if (!TransientAcceptError(errno)) ThrowPosixError("accept", subject, errno);
  }
}

// ---------------------------------------------------------------------------
// A server's listening sockets

namespace {

// The wake-up is a pipe the accept thread polls beside the listeners.
class PosixListeningSockets final : public ListeningSockets {
 public:
  PosixListeningSockets(std::vector<ScopedFd> listeners, int port, ScopedFd wake_read,
                        ScopedFd wake_write)
      : listeners_(std::move(listeners)), port_(port), wake_read_(std::move(wake_read)),
        wake_write_(std::move(wake_write)) {
    for (const ScopedFd& l : listeners_) fds_.push_back({l.get(), POLLIN, 0});
    fds_.push_back({wake_read_.get(), POLLIN, 0});
  }

  int Port() const noexcept override { return port_; }

  std::optional<TcpConnection> Accept(const Deadline& until) override {
    for (;;) {
      // Listeners after the wake-up: one that got a connection first is
      // not asked again before the others.
      for (std::size_t k = 0; k < listeners_.size(); ++k) {
        const std::size_t i = (next_ + k) % listeners_.size();
        if (fds_[i].revents == 0) continue;
        fds_[i].revents = 0;
        next_ = i + 1;
        ScopedFd fd(::accept4(fds_[i].fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (fd.valid()) return Accepted(std::move(fd));
        if (!TransientAcceptError(errno)) {
          // Out of descriptors or memory: give the system a moment rather
          // than spin, but stay awake for Wake.
          pollfd w{wake_read_.get(), POLLIN, 0};
          ::poll(&w, 1, 100);
        }
      }
      for (pollfd& p : fds_) p.revents = 0;
      const int wait_ms = MillisecondsLeft(until);
      const int n = ::poll(fds_.data(), fds_.size(), wait_ms);
      if (n < 0) continue;  // EINTR; nothing else on valid fds
      if (n == 0 && wait_ms == 0) return std::nullopt;
      if (fds_.back().revents != 0) {
        fds_.back().revents = 0;
        DrainWakeUps();
        return std::nullopt;
      }
    }
  }

  void Wake() noexcept override {
    const char byte = 0;
    while (::write(wake_write_.get(), &byte, 1) < 0 && errno == EINTR) {
    }
    // A full pipe already holds a wake-up: nothing is lost.
  }

  void CloseListeners() noexcept override { listeners_.clear(); }

 private:
  void DrainWakeUps() noexcept {
    char scrap[64];
    for (;;) {
      const ssize_t n = ::read(wake_read_.get(), scrap, sizeof scrap);
      if (n <= 0 && !(n < 0 && errno == EINTR)) return;
    }
  }

  std::vector<ScopedFd> listeners_;
  const int port_;
  ScopedFd wake_read_, wake_write_;
  std::vector<pollfd> fds_;  // the listeners, then the wake-up
  std::size_t next_ = 0;     // the listener to look at first
};

}  // namespace

std::unique_ptr<ListeningSockets> ListeningSockets::Open(const std::vector<std::string>& addresses,
                                                         int port, int backlog) {
  std::vector<ScopedFd> listeners;
  int bound_port = port;
  for (const std::string& address : addresses.empty() ? std::vector<std::string>{"0.0.0.0"} : addresses) {
    // Linux cuts a longer queue to net.core.somaxconn without complaint.
    listeners.push_back(OpenListeningSocket(address, bound_port, std::max(backlog, SOMAXCONN)));
    if (bound_port == 0) bound_port = BoundPort(listeners.back().get());
  }
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) ThrowPosixError("pipe", "", errno);
  ScopedFd wake_read(pipe_fds[0]), wake_write(pipe_fds[1]);
  return std::make_unique<PosixListeningSockets>(std::move(listeners), bound_port,
                                                 std::move(wake_read), std::move(wake_write));
}

}  // namespace pw::platform
