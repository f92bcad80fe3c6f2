// TCP over Winsock: listening. A TcpListener accepts on its owner's thread;
// a server's sockets share one event that its accept thread waits on beside
// the wake-up event.
//
// No listening socket sets SO_REUSEADDR: on Windows it would let a second
// socket listen on a port already taken, and a port whose old connections
// linger in TIME_WAIT can be bound again without it.
#include "platform/tcp.h"

#include <winsock2.h>

#include <utility>

#include "platform/win32/socket_support.h"
#include "platform/win32/win32_error.h"

namespace pw::platform {

namespace {

// A bound, listening socket whose connections set accept_event; port 0
// takes a free one.
ScopedSocket OpenListeningSocket(const std::string& address, int port, int backlog,
                                 WSAEVENT accept_event) {
  const std::string subject = Endpoint(address.empty() ? "0.0.0.0" : address, port);
  if (port < 0 || port > 65535) throw Error("bind " + subject + ": port out of range");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  if (address.empty()) a.sin_addr.s_addr = htonl(INADDR_ANY);
  else if (!ParseIPv4(address, a.sin_addr)) throw Error("bind " + subject + ": not an IPv4 address");

  ScopedSocket s = NewTcpSocket(subject);
  if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    ThrowWin32Error("bind", subject, ::WSAGetLastError());
  if (::listen(s.get(), backlog) != 0) ThrowWin32Error("listen", subject, ::WSAGetLastError());
  SelectEvents(s.get(), accept_event, FD_ACCEPT, subject);
  return s;
}

int BoundPort(SOCKET s) {
  sockaddr_in a{};
  int len = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    ThrowWin32Error("getsockname", "", ::WSAGetLastError());
  return ntohs(a.sin_port);
}

// How often an accept looks for a connection whose signal may not come.
constexpr int kStaleSignalLookMs = 200;

// accept() errors after which the next connection may well succeed.
bool TransientAcceptError(int err) {
  return err == WSAEWOULDBLOCK || err == WSAEINTR || err == WSAECONNRESET ||
         err == WSAECONNABORTED || err == WSAENETDOWN || err == WSAEHOSTUNREACH ||
         err == WSAENETUNREACH || err == WSAEINPROGRESS;
}

// Takes one connection waiting on listening, if any: nothing when none
// waits or it failed on the way (err tells which).
std::optional<TcpConnection> AcceptOne(SOCKET listening, int& err) {
  ScopedSocket s(::accept(listening, nullptr, nullptr));
  if (!s.valid()) {
    err = ::WSAGetLastError();
    return std::nullopt;
  }
  // The new socket shares the listener's event until Adopt ties it to its own.
  KeepFromChildren(s.get());
  SetKeepAlive(s.get());
  err = 0;
  return TcpAccess::Adopt(std::move(s));
}

}  // namespace

// ---------------------------------------------------------------------------
// TcpListener

struct TcpListener::Socket {
  ScopedWsaEvent accepting;
  ScopedSocket s;
};

TcpListener::TcpListener(const std::string& address, int port, int backlog)
    : socket_(new Socket{NewEvent(address), ScopedSocket()}) {
  socket_->s = OpenListeningSocket(address, port, backlog, socket_->accepting.get());
  port_ = BoundPort(socket_->s.get());
}

TcpListener::~TcpListener() = default;

std::optional<TcpConnection> TcpListener::Accept(int timeout_ms) {
  const Deadline deadline = DeadlineWithin(timeout_ms);
  const std::string subject = Endpoint("listener", port_);
  for (;;) {
    int err = 0;
    std::optional<TcpConnection> c = AcceptOne(socket_->s.get(), err);
    if (c) return c;
    if (!TransientAcceptError(err)) ThrowWin32Error("accept", subject, static_cast<unsigned long>(err));
    if (err != WSAEWOULDBLOCK) continue;
    // Wine may leave a connection unsignalled after a stale signal (see the
    // server's Accept below): look again now and then until the deadline.
    const Deadline next_look = DeadlineAfter(kStaleSignalLookMs);
    const bool deadline_first = deadline && *deadline <= *next_look;
    if (WaitForAny({socket_->accepting.get()}, deadline_first ? deadline : next_look, subject) < 0) {
      if (deadline_first) return std::nullopt;
      continue;
    }
    // The accept tried next re-arms the event if more connections wait.
    ::WSAResetEvent(socket_->accepting.get());
  }
}

// ---------------------------------------------------------------------------
// A server's listening sockets

namespace {

class WinsockListeningSockets final : public ListeningSockets {
 public:
  WinsockListeningSockets(ScopedWsaEvent accepting, std::vector<ScopedSocket> listeners, int port,
                          ScopedWsaEvent wake)
      : accepting_(std::move(accepting)), listeners_(std::move(listeners)), port_(port),
        wake_(std::move(wake)) {}

  int Port() const noexcept override { return port_; }

  std::optional<TcpConnection> Accept(const Deadline& until) override {
    const std::string subject = Endpoint("server", port_);
    bool signal_was_stale = false;
    for (;;) {
      // Every listener once, from the one after the last that gave a
      // connection; an accept that finds none re-arms the shared event.
      for (std::size_t k = 0; k < listeners_.size(); ++k) {
        const std::size_t i = (next_ + k) % listeners_.size();
        int err = 0;
        std::optional<TcpConnection> c;
        try {
          c = AcceptOne(listeners_[i].get(), err);
        } catch (...) {
          continue;  // no room for one more connection: it is closed
        }
        if (c) {
          next_ = i + 1;
          stale_signal_seen_ = false;
          return c;
        }
        if (!TransientAcceptError(err)) {
          // Out of sockets or memory: give the system a moment rather
          // than spin, but stay awake for Wake.
          WaitForAny({wake_.get()}, DeadlineAfter(100), subject);
        }
      }
      if (signal_was_stale) stale_signal_seen_ = true;
      // After a signal that found no connection, Wine may not signal the
      // next one until an accept succeeds: look again now and then.
      const Deadline next_look = stale_signal_seen_ ? DeadlineAfter(kStaleSignalLookMs) : std::nullopt;
      const int woken = WaitForAny({wake_.get(), accepting_.get()}, Earlier(until, next_look), subject);
      if (woken == 0) {
        ::WSAResetEvent(wake_.get());
        return std::nullopt;
      }
      if (woken < 0 && until && Clock::now() >= *until) return std::nullopt;
      signal_was_stale = woken == 1;
      if (woken == 1) ::WSAResetEvent(accepting_.get());
    }
  }

  void Wake() noexcept override { ::WSASetEvent(wake_.get()); }

  void CloseListeners() noexcept override { listeners_.clear(); }

 private:
  const ScopedWsaEvent accepting_;  // set by a connection on any listener
  std::vector<ScopedSocket> listeners_;
  const int port_;
  const ScopedWsaEvent wake_;
  std::size_t next_ = 0;  // the listener to look at first
  // A signal found no connection since the last accepted one.
  bool stale_signal_seen_ = false;
};

}  // namespace

std::unique_ptr<ListeningSockets> ListeningSockets::Open(const std::vector<std::string>& addresses,
                                                         int port, int /*backlog*/) {
  ScopedWsaEvent accepting = NewEvent("");
  std::vector<ScopedSocket> listeners;
  int bound_port = port;
  for (const std::string& address : addresses.empty() ? std::vector<std::string>{"0.0.0.0"} : addresses) {
    // SOMAXCONN asks Winsock for the largest queue its provider allows.
    listeners.push_back(OpenListeningSocket(address, bound_port, SOMAXCONN, accepting.get()));
    if (bound_port == 0) bound_port = BoundPort(listeners.back().get());
  }
  ScopedWsaEvent wake = NewEvent("");
  return std::make_unique<WinsockListeningSockets>(std::move(accepting), std::move(listeners),
                                                   bound_port, std::move(wake));
}

}  // namespace pw::platform
