// TCP over BSD sockets. Every socket is non-blocking; each wait is a poll()
// with the caller's limit, so no call sleeps in the kernel beyond it, and a
// shutdown() from another thread wakes any wait on the socket.
#include "platform/tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <thread>
#include <utility>

#include "platform/posix/posix_error.h"
#include "text/cp1251.h"

namespace pw::platform {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

Deadline DeadlineAfter(int ms) {
  if (ms <= 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

std::string Endpoint(const std::string& host, int port) { return host + ":" + std::to_string(port); }

// Waits for events on fd until the deadline (none: without limit) and
// returns the events that came, 0 when the time is up.
short PollOne(int fd, short events, const Deadline& deadline, const std::string& subject) {
  for (;;) {
    int wait_ms = -1;
    if (deadline) {
      const auto left = *deadline - Clock::now();
      if (left <= Clock::duration::zero()) wait_ms = 0;
      else wait_ms = static_cast<int>(std::min<std::int64_t>(
               std::chrono::ceil<std::chrono::milliseconds>(left).count(), 1 << 30));
    }
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, wait_ms);
    if (n > 0) return p.revents;
    if (n < 0 && errno != EINTR) ThrowPosixError("poll", subject, errno);
    if (n == 0 && wait_ms == 0) return 0;
    // Interrupted, or woken a little early: wait for the rest.
  }
}

std::string AddressText(const sockaddr_in& a) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  return text;
}

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

class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) noexcept : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  ~ScopedFd() { if (fd_ >= 0) ::close(fd_); }
  int get() const noexcept { return fd_; }
  int release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

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

}  // namespace

// The parts of TcpConnection this file uses from outside the class.
struct TcpAccess {
  // Takes a connected socket; closes it if the connection cannot be made.
  static TcpConnection Adopt(int fd) {
    ScopedFd owner(fd);
    TcpConnection connection(fd);
    owner.release();
    return connection;
  }

  // Hands the descriptor back when one call on it ends.
  struct Lease {
    TcpConnection& connection;
    ~Lease() { connection.ReleaseFd(); }
  };
};

// ---------------------------------------------------------------------------
// TcpConnection

TcpConnection::TcpConnection() noexcept = default;

TcpConnection::TcpConnection(int fd)
    : fd_(fd), closed_(false), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {
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

TcpConnection::~TcpConnection() { Disconnect(); }

TcpConnection::TcpConnection(TcpConnection&& other) noexcept { MoveFrom(other); }

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
  if (this != &other) {
    Disconnect();
    MoveFrom(other);
  }
  return *this;
}

void TcpConnection::MoveFrom(TcpConnection& other) noexcept {
  {
    std::scoped_lock lock(mu_, other.mu_);
    fd_ = std::exchange(other.fd_, -1);
    users_ = 0;
    closed_.store(other.closed_.exchange(true));
  }
  buffer_ = std::move(other.buffer_);
  pos_ = std::exchange(other.pos_, 0);
  end_ = std::exchange(other.end_, 0);
  peer_closed_ = std::exchange(other.peer_closed_, false);
  read_timeout_ms_ = other.read_timeout_ms_;
  peer_address_ = std::move(other.peer_address_);
  local_address_ = std::move(other.local_address_);
  peer_port_ = std::exchange(other.peer_port_, 0);
  local_port_ = std::exchange(other.local_port_, 0);
  other.peer_address_.clear();
  other.local_address_.clear();
}

TcpConnection TcpConnection::Connect(const std::string& host, int port, int connect_timeout_ms) {
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
      if (PollOne(fd.get(), POLLOUT, deadline, subject) == 0) {
        last_error = ETIMEDOUT;
        break;  // the one time limit covers every address
      }
      socklen_t len = sizeof err;
      if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    }
    if (err == 0) return TcpAccess::Adopt(fd.release());
    last_error = err;
  }
  ThrowPosixError("connect", subject, last_error);
}

int TcpConnection::AcquireFd() {
  std::lock_guard lock(mu_);
  if (closed_.load() || fd_ < 0) return -1;
  ++users_;
  return fd_;
}

void TcpConnection::ReleaseFd() noexcept {
  std::lock_guard lock(mu_);
  --users_;
  if (closed_.load() && users_ == 0) CloseLocked();
}

void TcpConnection::CloseLocked() noexcept {
  if (fd_ < 0) return;
  closed_.store(true);
  if (users_ > 0) {
    // The owner is waiting on the socket: wake it, and let it close the
    // descriptor when it lets go, so the number is never reused under it.
    ::shutdown(fd_, SHUT_RDWR);
    return;
  }
  DropUnreadInput(fd_);
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
}

void TcpConnection::Disconnect() noexcept {
  std::lock_guard lock(mu_);
  CloseLocked();
}

std::size_t TcpConnection::Receive(char* data, std::size_t max) {
  if (peer_closed_) throw ConnectionClosed();
  const int fd = AcquireFd();
  if (fd < 0) throw ConnectionClosed();
  const TcpAccess::Lease lease{*this};

  const Deadline deadline = DeadlineAfter(read_timeout_ms_);
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

std::size_t TcpConnection::ReadSome(void* data, std::size_t max) {
  if (max == 0) return 0;
  if (closed_.load(std::memory_order_relaxed)) throw ConnectionClosed();
  char* out = static_cast<char*>(data);
  if (pos_ == end_) {
    if (max >= kBufferSize) return Receive(out, max);
    pos_ = end_ = 0;
    end_ = Receive(buffer_.get(), kBufferSize);
  }
  const std::size_t n = std::min(max, end_ - pos_);
  std::memcpy(out, buffer_.get() + pos_, n);
  pos_ += n;
  return n;
}

void TcpConnection::ReadExact(void* data, std::size_t size) {
  char* out = static_cast<char*>(data);
  while (size > 0) {
    const std::size_t n = ReadSome(out, size);
    out += n;
    size -= n;
  }
}

void TcpConnection::Unread(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::size_t held = end_ - pos_;
  if (!buffer_ || bytes.size() + held > kBufferSize) throw Error("Unread: receive buffer overflow");
  if (bytes.size() <= pos_) {
    pos_ -= bytes.size();
  } else {
    std::memmove(buffer_.get() + bytes.size(), buffer_.get() + pos_, held);
    pos_ = 0;
    end_ = bytes.size() + held;
  }
  std::memcpy(buffer_.get() + pos_, bytes.data(), bytes.size());
}

std::uint8_t TcpConnection::ReadByteSlow() {
  std::uint8_t byte = 0;
  ReadSome(&byte, 1);
  return byte;
}

bool TcpConnection::WaitReadable(int ms) {
  if (closed_.load() || pos_ < end_ || peer_closed_) return true;
  const int fd = AcquireFd();
  if (fd < 0) return true;
  const TcpAccess::Lease lease{*this};
  Deadline deadline;
  if (ms >= 0) deadline = Clock::now() + std::chrono::milliseconds(ms);
  return PollOne(fd, POLLIN, deadline, peer_address_) != 0 || closed_.load();
}

bool TcpConnection::Connected() {
  if (closed_.load()) return false;
  if (pos_ < end_) return true;
  if (peer_closed_) return false;
  const int fd = AcquireFd();
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0) {
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
      peer_closed_ = true;
  }
  ReleaseFd();
  return !peer_closed_ && !closed_.load();
}

void TcpConnection::WriteAll(const void* data, std::size_t size) {
  const int fd = AcquireFd();
  if (fd < 0) throw Error("Not Connected.");
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
    if (closed_.load()) throw Error("Not Connected.");
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      PollOne(fd, POLLOUT, std::nullopt, peer_address_);
      continue;
    }
    ThrowPosixError("send", peer_address_, err);
  }
}

// ---------------------------------------------------------------------------
// TcpListener

TcpListener::TcpListener(const std::string& address, int port, int backlog) {
  ScopedFd fd = OpenListeningSocket(address, port, backlog);
  port_ = BoundPort(fd.get());
  fd_ = fd.release();
}

TcpListener::~TcpListener() { ::close(fd_); }

std::optional<TcpConnection> TcpListener::Accept(int timeout_ms) {
  Deadline deadline;
  if (timeout_ms >= 0) deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const std::string subject = Endpoint("listener", port_);
  for (;;) {
    if (PollOne(fd_, POLLIN, deadline, subject) == 0) return std::nullopt;
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) return TcpAccess::Adopt(fd);
    if (!TransientAcceptError(errno)) ThrowPosixError("accept", subject, errno);
  }
}

// ---------------------------------------------------------------------------
// TcpServer

namespace {

// The server whose handler runs on this thread, if any.
thread_local const TcpServer* serving_server = nullptr;

struct Session {
  TcpConnection connection;
  std::thread thread;
  std::list<Session>::iterator self;
};

void WakeUp(int fd) {
  const char byte = 0;
  while (::write(fd, &byte, 1) < 0 && errno == EINTR) {
  }
  // A full pipe already holds a wake-up: nothing is lost.
}

void DrainWakeUps(int fd) {
  char scrap[64];
  for (;;) {
    const ssize_t n = ::read(fd, scrap, sizeof scrap);
    if (n <= 0 && !(n < 0 && errno == EINTR)) return;
  }
}

}  // namespace

struct TcpServer::State {
  // Set by Activate before the accept thread starts, cleared by Deactivate
  // after it has been joined.
  std::vector<ScopedFd> listeners;
  ScopedFd wake_read, wake_write;
  std::thread accept_thread;
  std::atomic<bool> stopping{false};

  mutable std::mutex mu;
  std::list<Session> serving;   // guarded by mu
  std::list<Session> finished;  // guarded by mu: handler done, thread not joined

  void ReapFinished() {
    std::lock_guard lock(mu);
    for (Session& s : finished) s.thread.join();
    finished.clear();
  }
};

TcpServer::TcpServer(Handler handler) : handler_(std::move(handler)), state_(std::make_unique<State>()) {}

TcpServer::~TcpServer() {
  try {
    Deactivate();
  } catch (...) {
  }
}

std::size_t TcpServer::ConnectionThreads() const {
  std::lock_guard lock(state_->mu);
  return state_->serving.size() + state_->finished.size();
}

void TcpServer::Activate(int port, const std::vector<std::string>& bind_addresses) {
  if (serving_server == this) throw Error("TcpServer::Activate called from a connection handler");
  std::lock_guard control(control_mu_);
  if (active_.load()) return;
  State& st = *state_;

  std::vector<ScopedFd> listeners;
  const std::vector<std::string> addresses =
      bind_addresses.empty() ? std::vector<std::string>{"0.0.0.0"} : bind_addresses;
  int bound_port = port;
  for (const std::string& address : addresses) {
    listeners.push_back(OpenListeningSocket(address, bound_port, TcpListener::kDefaultBacklog));
    if (bound_port == 0) bound_port = BoundPort(listeners.back().get());
  }

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) ThrowPosixError("pipe", "", errno);
  ScopedFd wake_read(pipe_fds[0]), wake_write(pipe_fds[1]);

  st.stopping.store(false);
  st.listeners = std::move(listeners);
  st.wake_read = std::move(wake_read);
  st.wake_write = std::move(wake_write);
  try {
    st.accept_thread = std::thread([this] { AcceptLoop(); });
  } catch (const std::system_error& e) {
    st.listeners.clear();
    st.wake_read = ScopedFd();
    st.wake_write = ScopedFd();
    throw Error(std::string("thread: ") + e.what());
  }
  port_.store(bound_port);
  active_.store(true);
}

void TcpServer::Deactivate() {
  if (serving_server == this) throw Error("TcpServer::Deactivate called from a connection handler");
  std::lock_guard control(control_mu_);
  if (!active_.load()) return;
  State& st = *state_;

  st.stopping.store(true);
  WakeUp(st.wake_write.get());
  st.accept_thread.join();
  st.listeners.clear();

  std::vector<std::thread*> threads;
  {
    std::lock_guard lock(st.mu);
    for (Session& s : st.serving) {
      s.connection.Disconnect();
      threads.push_back(&s.thread);
    }
    for (Session& s : st.finished) threads.push_back(&s.thread);
  }
  // Nodes stay where they are while their threads finish (a finishing
  // thread only moves its node from one list to the other).
  for (std::thread* t : threads) t->join();
  {
    std::lock_guard lock(st.mu);
    st.serving.clear();
    st.finished.clear();
  }
  st.wake_read = ScopedFd();
  st.wake_write = ScopedFd();
  port_.store(0);
  active_.store(false);
}

void TcpServer::AcceptLoop() {
  State& st = *state_;
  std::vector<pollfd> fds;
  for (const ScopedFd& l : st.listeners) fds.push_back({l.get(), POLLIN, 0});
  fds.push_back({st.wake_read.get(), POLLIN, 0});
  pollfd& wake = fds.back();

  for (;;) {
    const int n = ::poll(fds.data(), fds.size(), -1);
    if (n < 0) continue;  // EINTR; poll has no other failure on valid descriptors
    if (wake.revents != 0) {
      DrainWakeUps(wake.fd);
      if (st.stopping.load()) return;
      st.ReapFinished();
    }
    for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (!TransientAcceptError(errno)) {
          // Out of descriptors or memory: give the system a moment rather
          // than spin, but stay awake for Deactivate.
          pollfd w{st.wake_read.get(), POLLIN, 0};
          ::poll(&w, 1, 100);
        }
        continue;
      }
      try {
        st.ReapFinished();
        Serve(TcpAccess::Adopt(fd));
      } catch (...) {
        // Out of memory for one more connection: it is closed, the server goes on.
      }
    }
  }
}

void TcpServer::Serve(TcpConnection connection) {
  State& st = *state_;
  std::lock_guard lock(st.mu);
  const auto it = st.serving.emplace(st.serving.end());
  it->connection = std::move(connection);
  it->self = it;
  Session* session = &*it;
  try {
    it->thread = std::thread([this, session] {
      State& state = *state_;
      serving_server = this;
      try {
        handler_(session->connection);
      } catch (...) {
        // The handler reports its own failures; the connection just ends.
      }
      {
        std::lock_guard finishing(state.mu);
        state.finished.splice(state.finished.end(), state.serving, session->self);
      }
      session->connection.Disconnect();
      WakeUp(state.wake_write.get());
    });
  } catch (const std::system_error&) {
    st.serving.erase(it);  // no thread to serve it: close at once
  }
}

// ---------------------------------------------------------------------------
// Local addresses

std::vector<std::string> LocalIpAddresses() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) ThrowPosixError("getifaddrs", "", errno);
  std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);

  std::vector<std::string> outside, loopback;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in a;
    std::memcpy(&a, i->ifa_addr, sizeof a);
    const bool is_loopback = (i->ifa_flags & IFF_LOOPBACK) != 0 ||
                             (ntohl(a.sin_addr.s_addr) >> 24) == 127;
    (is_loopback ? loopback : outside).push_back(AddressText(a));
  }
  std::vector<std::string> all;
  for (auto* part : {&outside, &loopback})
    for (std::string& address : *part)
      if (std::find(all.begin(), all.end(), address) == all.end()) all.push_back(std::move(address));
  return all;
}

std::string LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) ThrowPosixError("gethostname", "", errno);
  return text::cp1251_from_utf8(name);
}

}  // namespace pw::platform
