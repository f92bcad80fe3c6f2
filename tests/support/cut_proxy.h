// A relay on loopback between a client and a real listener that cuts both
// sides after the Nth byte: the socket failure of a network that drops a
// connection in mid-exchange, at a point the test chooses.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/tcp.h"
#include "sync/mutex.h"

namespace pw::test {

class CutProxy {
 public:
  // Which bytes count toward the cut.
  enum class Counted { kToListener, kToClient, kBoth };
  static constexpr std::int64_t kNever = -1;

  // Listens on 127.0.0.1 (Port()) and relays every connection to
  // listener_port; once cut_after bytes of the counted kind have gone
  // through, both sides of that connection are closed.
  CutProxy(int listener_port, Counted counted, std::int64_t cut_after);
  ~CutProxy();
  CutProxy(const CutProxy&) = delete;
  CutProxy& operator=(const CutProxy&) = delete;

  int Port() const { return listener_.Port(); }
  // Bytes relayed so far each way, over every connection.
  std::int64_t ToListener() const { return to_listener_.load(); }
  std::int64_t ToClient() const { return to_client_.load(); }
  // Waits until every relayed connection has ended on both sides.
  bool WaitAllEnded(int timeout_ms);

 private:
  struct Pair;
  void AcceptLoop();
  void Relay(Pair& pair, bool to_listener);
  bool Counts(bool to_listener) const;
  // How many of n read bytes may go on; 0 once the cut is reached.
  std::int64_t Allow(Pair& pair, bool to_listener, std::int64_t n);
  bool Reached(Pair& pair, bool to_listener);

  const int listener_port_;
  const Counted counted_;
  platform::TcpListener listener_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> to_listener_{0}, to_client_{0};
  Mutex mu_;
  std::condition_variable_any ended_;
  std::vector<std::unique_ptr<Pair>> pairs_ GUARDED_BY(mu_);
  int relays_running_ GUARDED_BY(mu_) = 0;
  std::vector<std::thread> threads_ GUARDED_BY(mu_);
  const std::int64_t cut_after_;
  std::thread acceptor_;
};

}  // namespace pw::test
