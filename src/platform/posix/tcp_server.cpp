// TCP over BSD sockets: listening. A TcpListener accepts on its owner's
// thread; a TcpServer accepts on a thread of its own and serves every
// connection on another.
#include "platform/tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <list>
#include <thread>
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
  Deadline deadline;
  if (timeout_ms >= 0) deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const std::string subject = Endpoint("listener", port_);
  for (;;) {
    const int listening = socket_->fd.get();
    if (PollOne(listening, POLLIN, deadline, subject) == 0) return std::nullopt;
    ScopedFd fd(::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.valid()) return TcpAccess::Adopt(std::move(fd));
    if (!TransientAcceptError(errno)) ThrowPosixError("accept", subject, errno);
  }
}

// ---------------------------------------------------------------------------
// TcpServer

namespace {

// The server whose handler runs on this thread, if any.
thread_local const TcpServer* serving_server = nullptr;

// Accept and connection threads of every server, started and not joined.
std::atomic<std::size_t> threads_in_process{0};

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

  mutable Mutex mu;
  std::list<Session> serving GUARDED_BY(mu);
  std::list<Session> finished GUARDED_BY(mu);  // handler done, thread not joined

  void ReapFinished() LOCKS_EXCLUDED(mu) {
    MutexLock lock(mu);
    for (Session& s : finished) {
      s.thread.join();
      --threads_in_process;
    }
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

std::size_t TcpServer::ThreadsInProcess() { return threads_in_process.load(); }

std::size_t TcpServer::ConnectionThreads() const {
  MutexLock lock(state_->mu);
  return state_->serving.size() + state_->finished.size();
}

void TcpServer::Activate(int port, const std::vector<std::string>& bind_addresses) {
  if (serving_server == this) throw Error("TcpServer::Activate called from a connection handler");
  MutexLock control(control_mu_);
  if (active_.load()) return;
  State& st = *state_;

  std::vector<ScopedFd> listeners;
  const std::vector<std::string> addresses =
      bind_addresses.empty() ? std::vector<std::string>{"0.0.0.0"} : bind_addresses;
  int bound_port = port;
  for (const std::string& address : addresses) {
    listeners.push_back(OpenListeningSocket(address, bound_port, kBacklog));
    if (bound_port == 0) bound_port = BoundPort(listeners.back().get());
  }

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) ThrowPosixError("pipe", "", errno);
  ScopedFd wake_read(pipe_fds[0]), wake_write(pipe_fds[1]);

  st.stopping.store(false);
  st.listeners = std::move(listeners);
  st.wake_read = std::move(wake_read);
  st.wake_write = std::move(wake_write);
  ++threads_in_process;
  try {
    st.accept_thread = std::thread([this] { AcceptLoop(); });
  } catch (const std::system_error& e) {
    --threads_in_process;
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
  MutexLock control(control_mu_);
  if (!active_.load()) return;
  State& st = *state_;

  st.stopping.store(true);
  WakeUp(st.wake_write.get());
  st.accept_thread.join();
  --threads_in_process;
  st.listeners.clear();

  std::vector<std::thread*> threads;
  {
    MutexLock lock(st.mu);
    for (Session& s : st.serving) {
      s.connection.Disconnect();
      threads.push_back(&s.thread);
    }
    for (Session& s : st.finished) threads.push_back(&s.thread);
  }
  // Nodes stay where they are while their threads finish (a finishing
  // thread only moves its node from one list to the other).
  for (std::thread* t : threads) {
    t->join();
    --threads_in_process;
  }
  {
    MutexLock lock(st.mu);
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
      ScopedFd fd(::accept4(fds[i].fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!fd.valid()) {
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
        Serve(TcpAccess::Adopt(std::move(fd)));
      } catch (...) {
        // Out of memory for one more connection: it is closed, the server goes on.
      }
    }
  }
}

void TcpServer::Serve(TcpConnection connection) {
  State& st = *state_;
  MutexLock lock(st.mu);
  const auto it = st.serving.emplace(st.serving.end());
  it->connection = std::move(connection);
  it->self = it;
  Session* session = &*it;
  ++threads_in_process;  // before the handler can run
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
        MutexLock finishing(state.mu);
        state.finished.splice(state.finished.end(), state.serving, session->self);
      }
      session->connection.Disconnect();
      WakeUp(state.wake_write.get());
    });
  } catch (const std::system_error&) {
    --threads_in_process;
    st.serving.erase(it);  // no thread to serve it: close at once
  }
}

}  // namespace pw::platform
