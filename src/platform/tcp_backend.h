// What the portable TCP files and the backend of each OS share: time limits,
// endpoint text, the order of the machine's addresses, and the listening
// sockets a TcpServer accepts on. The backend keeps the OS sockets; the
// buffered reads of a connection and the threads of a server are written
// once, over this.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/tcp.h"

namespace pw::platform {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

// A time limit as the calls take it: ms <= 0 is none.
inline Deadline DeadlineAfter(int ms) {
  if (ms <= 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

// A wait as WaitReadable and Accept take it: negative is none, 0 only looks.
inline Deadline DeadlineWithin(int ms) {
  if (ms < 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

// The earlier of two deadlines; none only when neither has one.
inline Deadline Earlier(const Deadline& a, const Deadline& b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

// The time left for one OS wait, rounded up so the wait never ends before
// the deadline: -1 without a deadline, 0 once it has passed.
inline int MillisecondsLeft(const Deadline& deadline) {
  if (!deadline) return -1;
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::min<std::int64_t>(
      std::chrono::ceil<std::chrono::milliseconds>(left).count(), 1 << 30));
}

// A connect under way waits until its deadline, and where a flag may cancel
// it, a tenth of a second at most between looks at the flag.
inline Deadline NextConnectLook(const Deadline& deadline, const std::atomic<bool>* cancelled) {
  if (cancelled == nullptr) return deadline;
  const auto next_look = Clock::now() + std::chrono::milliseconds(100);
  return deadline && *deadline < next_look ? deadline : Deadline(next_look);
}

// Why a connect under way stops waiting, when it does.
enum class ConnectStop { kNone, kCancelled, kTimedOut };

inline ConnectStop ConnectStopNow(const Deadline& deadline, const std::atomic<bool>* cancelled) {
  if (cancelled != nullptr && cancelled->load()) return ConnectStop::kCancelled;
  if (deadline && Clock::now() >= *deadline) return ConnectStop::kTimedOut;
  return ConnectStop::kNone;
}

inline std::string Endpoint(const std::string& host, int port) {
  return host + ":" + std::to_string(port);
}

// The machine's addresses as LocalIpAddresses gives them: the outside ones,
// then the loopback ones, each once.
inline std::vector<std::string> OutsideThenLoopback(std::vector<std::string> outside,
                                                    std::vector<std::string> loopback) {
  std::vector<std::string> all;
  for (auto* part : {&outside, &loopback})
    for (std::string& address : *part)
      if (std::find(all.begin(), all.end(), address) == all.end()) all.push_back(std::move(address));
  return all;
}

// The listening sockets of an active TcpServer, one per address, and the
// wake-up that ends the accept thread's wait. Accept is the accept thread's;
// Wake any thread's until the object is destroyed.
class ListeningSockets {
 public:
  // Listens at port on each address (none: on 0.0.0.0); port 0 takes one
  // free port, the same for every address. The queue is the larger of
  // backlog and the system's maximum. Raises pw::Error when an address
  // cannot be bound; nothing stays bound then.
  static std::unique_ptr<ListeningSockets> Open(const std::vector<std::string>& addresses,
                                                int port, int backlog);
  virtual ~ListeningSockets() = default;

  virtual int Port() const noexcept = 0;

  // Waits until the deadline (none: without limit) for a connection on any
  // socket and returns it, with keep-alive on; returns nothing when the
  // time is up, or once Wake has been called since the last return (the
  // wake-up is then used up). A connection that fails before it is taken
  // is dropped and the wait goes on; when the system is out of sockets the
  // wait pauses a little, still waking for Wake.
  virtual std::optional<TcpConnection> Accept(const Deadline& until) = 0;

  virtual void Wake() noexcept = 0;

  // Stops listening; Wake still works. Called once Accept is no longer.
  virtual void CloseListeners() noexcept = 0;
};

}  // namespace pw::platform
