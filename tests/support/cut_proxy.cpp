#include "cut_proxy.h"

#include <chrono>

#include "raw_peer.h"

namespace pw::test {

// The two sides of one relayed connection. Each relay thread reads one side
// and writes the other: a connection's read state is its reader's alone,
// and a write touches only the socket, under the connection's own lease.
struct CutProxy::Pair {
  platform::TcpConnection client, server;
  Mutex mu;
  std::int64_t left;  // counted bytes still to pass before the cut; guarded by mu

  void CutBoth() noexcept {
    client.Disconnect();
    server.Disconnect();
  }
};

CutProxy::CutProxy(int listener_port, Counted counted, std::int64_t cut_after)
    : listener_port_(listener_port),
      counted_(counted),
      listener_(kLoopback, 0),
      cut_after_(cut_after),
      acceptor_([this] { AcceptLoop(); }) {}

CutProxy::~CutProxy() {
  stopping_ = true;
  try {
    // Wakes the acceptor's wait with a connection of its own.
    platform::TcpConnection::Connect(kLoopback, Port(), kWaitMs);
  } catch (const std::exception&) {
  }
  acceptor_.join();
  {
    MutexLock lock(mu_);
    for (auto& pair : pairs_) pair->CutBoth();
  }
  for (std::thread& t : threads_) t.join();
}

void CutProxy::AcceptLoop() {
  for (;;) {
    std::optional<platform::TcpConnection> client;
    try {
      client = listener_.Accept(-1);
    } catch (const std::exception&) {
      return;  // the relay takes no more connections; a test waiting for one fails on its own
    }
    if (stopping_) return;
    if (!client) continue;
    auto pair = std::make_unique<Pair>();
    pair->client = std::move(*client);
    pair->left = cut_after_;
    try {
      pair->server = platform::TcpConnection::Connect(kLoopback, listener_port_, kWaitMs);
    } catch (const std::exception&) {
      continue;  // the client sees its connection close
    }
    if (cut_after_ == 0) pair->CutBoth();
    MutexLock lock(mu_);
    Pair& p = *pair;
    pairs_.push_back(std::move(pair));
    relays_running_ += 2;
    threads_.emplace_back([this, &p] { Relay(p, true); });
    threads_.emplace_back([this, &p] { Relay(p, false); });
  }
}

bool CutProxy::Counts(bool to_listener) const {
  if (cut_after_ == kNever) return false;
  return counted_ == Counted::kBoth || (counted_ == Counted::kToListener) == to_listener;
}

std::int64_t CutProxy::Allow(Pair& pair, bool to_listener, std::int64_t n) {
  if (!Counts(to_listener)) return n;
  MutexLock lock(pair.mu);
  const std::int64_t allowed = std::min(n, pair.left);
  pair.left -= allowed;
  return allowed;
}

bool CutProxy::Reached(Pair& pair, bool to_listener) {
  if (!Counts(to_listener)) return false;
  MutexLock lock(pair.mu);
  return pair.left == 0;
}

void CutProxy::Relay(Pair& pair, bool to_listener) {
  platform::TcpConnection& from = to_listener ? pair.client : pair.server;
  platform::TcpConnection& to = to_listener ? pair.server : pair.client;
  std::atomic<std::int64_t>& relayed = to_listener ? to_listener_ : to_client_;
  char buffer[16 * 1024];
  try {
    for (;;) {
      const std::int64_t got = static_cast<std::int64_t>(from.ReadSome(buffer, sizeof buffer));
      const std::int64_t allowed = Allow(pair, to_listener, got);
      if (allowed > 0) to.WriteAll(buffer, static_cast<std::size_t>(allowed));
      relayed += allowed;
      if (Reached(pair, to_listener)) break;
    }
  } catch (const std::exception&) {
    // One side closed or was cut: the other learns it below.
  }
  pair.CutBoth();
  MutexLock lock(mu_);
  if (--relays_running_ == 0) ended_.notify_all();
}

bool CutProxy::WaitAllEnded(int timeout_ms) {
  MutexLock lock(mu_);
  return ended_.wait_for(mu_, std::chrono::milliseconds(timeout_ms), [&] {
    mu_.AssertHeld();  // the wait holds it while it asks
    return relays_running_ == 0;
  });
}

}  // namespace pw::test
