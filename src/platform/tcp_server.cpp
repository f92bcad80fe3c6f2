// TcpServer: the accept thread and one thread per connection, over the
// backend's listening sockets, with the caps on connections.
#include <algorithm>
#include <list>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/free_memory.h"
#include "platform/tcp.h"
#include "platform/tcp_backend.h"

namespace pw::platform {

namespace {

// The server whose handler runs on this thread, if any.
thread_local const TcpServer* serving_server = nullptr;

// Accept and connection threads of every server, started and not joined.
std::atomic<std::size_t> threads_in_process{0};

// A connection's phase as the server keeps it: the handler's, or closed by
// the server to make room (then the handler's next SetPhase says so).
constexpr int kClosedForRoom = -1;

struct Session {
  TcpConnection connection;
  std::thread thread;
  std::list<Session>::iterator self;
  // Written by the handler's thread, read by the accept thread.
  std::atomic<int> phase{static_cast<int>(TcpServer::Phase::kHandshake)};
  std::atomic<Clock::rep> since{Clock::now().time_since_epoch().count()};  // of the phase
  // Its peer has closed; the accept thread's, under the server's lock.
  bool peer_gone = false;
};

// After a look at every socket finds no peer gone, the next is this much
// later.
constexpr int kLookPauseMs = 20;

// How many times a cap's count is taken when the connection chosen to make
// room moves on first.
constexpr int kChoiceAttempts = 4;

// The connection whose handler runs on this thread, if any.
thread_local Session* serving_session = nullptr;

// Moves session from phase from to phase to, unless another thread moved it
// first.
bool MovePhase(Session& session, int from, int to) {
  return session.phase.compare_exchange_strong(from, to);
}

// A burst worth trimming the heap after: fewer connections leave little.
constexpr std::size_t kBurstToTrim = 16;

}  // namespace

struct TcpServer::State {
  // Set by Activate before the accept thread starts, cleared by Deactivate
  // after every thread has been joined.
  std::unique_ptr<ListeningSockets> listening;
  std::thread accept_thread;
  std::atomic<bool> stopping{false};

  mutable Mutex mu;
  std::list<Session> serving GUARDED_BY(mu);  // peer_gone: the accept thread's
  std::list<Session> finished GUARDED_BY(mu);  // handler done, thread not joined

  // Until when the sockets are not looked at again for a peer's close, the
  // last look having found none; the accept thread's.
  Clock::time_point next_look{};

  // A burst under way: of refusals, or of connections closed to make room.
  // The accept thread's.
  struct Burst {
    bool on = false;
    Refusals report;
    Clock::time_point last;  // its latest refusal or close
  };
  Burst refusals;
  Burst room;
  Burst& Of(const Refusals& r) { return r.made_room ? room : refusals; }

  // When the first burst under way ends unless another refusal or close
  // comes; nothing while none is under way.
  Deadline BurstEnd(Clock::duration quiet) const {
    Deadline end;
    for (const Burst* b : {&refusals, &room})
      if (b->on && (!end || b->last + quiet < *end)) end = b->last + quiet;
    return end;
  }

  // Connections served since the heap was last trimmed; the accept thread's.
  std::size_t served_since_trim = 0;

  // Joins the finished threads. Once a burst of connections is over (none
  // left), the heap's free pages go back to the system: each connection's
  // thread frees its buffers into an arena of its own, which would
  // otherwise keep them.
  void ReapFinished() LOCKS_EXCLUDED(mu) {
    bool idle = false;
    {
      MutexLock lock(mu);
      for (Session& s : finished) {
        s.thread.join();
        --threads_in_process;
      }
      finished.clear();
      idle = serving.empty();
    }
    if (idle && served_since_trim >= kBurstToTrim) {
      served_since_trim = 0;
      ReturnFreeMemory();
    }
  }
};

TcpServer::TcpServer(Handler handler, RefusalObserver on_refusals)
    : handler_(std::move(handler)), on_refusals_(std::move(on_refusals)),
      state_(std::make_unique<State>()) {}

void TcpServer::SetLimits(Limits limits) {
  MutexLock lock(limits_mu_);
  limits_ = limits;
}

TcpServer::~TcpServer() {
  try {
    Deactivate();
  } catch (...) {
    // Only from one of its own handlers, which its owner never lets happen:
    // a destructor has no one to tell.
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

  st.listening = ListeningSockets::Open(bind_addresses, port, kBacklog);
  st.stopping.store(false);
  ++threads_in_process;
  try {
    st.accept_thread = std::thread([this] { AcceptLoop(); });
  } catch (const std::system_error& e) {
    --threads_in_process;
    st.listening.reset();
    throw Error(std::string("thread: ") + e.what());
  }
  port_.store(st.listening->Port());
  active_.store(true);
}

void TcpServer::Deactivate() {
  if (serving_server == this) throw Error("TcpServer::Deactivate called from a connection handler");
  MutexLock control(control_mu_);
  if (!active_.load()) return;
  State& st = *state_;

  st.stopping.store(true);
  st.listening->Wake();
  st.accept_thread.join();
  --threads_in_process;
  st.listening->CloseListeners();

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
  st.listening.reset();
  port_.store(0);
  active_.store(false);
}

void TcpServer::AcceptLoop() {
  State& st = *state_;
  const auto quiet = std::chrono::milliseconds(kQuietMs);
  for (;;) {
    try {
      std::optional<TcpConnection> accepted = st.listening->Accept(st.BurstEnd(quiet));
      if (st.stopping.load()) break;
      st.ReapFinished();
      EndBursts(/*only_quiet=*/true);
      if (accepted && !Refused(*accepted)) Serve(std::move(*accepted));
    } catch (...) {
      // Out of memory for one more connection: it is closed, the server goes on.
      if (st.stopping.load()) break;
    }
  }
  EndBursts(/*only_quiet=*/false);
}

bool TcpServer::Refused(TcpConnection& connection) {
  State& st = *state_;
  Limits limits;
  {
    MutexLock lock(limits_mu_);
    limits = limits_;
  }
  limits.connections = std::max<std::size_t>(limits.connections, 1);
  limits.per_address = std::max<std::size_t>(limits.per_address, 1);
  limits.handshaking = std::max<std::size_t>(limits.handshaking, 1);
  const std::string& address = connection.PeerAddress();
  bool refused_per_address = false;
  std::size_t limit = 0;  // the cap that refuses
  bool looked = false;
  std::optional<std::string> closed_for_room;  // the address of the one closed
  // A victim's handler may move it to its next phase between the count and
  // the close (a handshake just ending): then the count is taken again, a
  // few times at most, rather than the newcomer refused for it.
  for (int attempt = 0; attempt < kChoiceAttempts; ++attempt) {
    MutexLock lock(st.mu);
    // A connection whose socket has closed, at either end, no longer
    // counts, though its handler may still be waiting (for the main thread
    // to take its log lines).
    std::size_t in_all = 0, from_address = 0, handshaking = 0;
    Session* oldest_handshake = nullptr;  // serving is in the order of accepts
    Session* idlest = nullptr;
    for (Session& s : st.serving) {
      if (s.connection.Closed() || s.peer_gone) continue;
      ++in_all;
      if (s.connection.PeerAddress() == address) ++from_address;
      const int phase = s.phase.load();
      if (phase == static_cast<int>(Phase::kHandshake)) {
        ++handshaking;
        if (!oldest_handshake) oldest_handshake = &s;
      } else if (phase == static_cast<int>(Phase::kWaiting)) {
        if (!idlest || s.since.load() < idlest->since.load()) idlest = &s;
      }
    }
    // The new connection starts in its handshake: past that share the
    // oldest one there goes (a real station's handshake takes moments),
    // which also makes room in all.
    Session* victim = nullptr;
    int victim_phase = kClosedForRoom;  // none
    if (from_address >= limits.per_address) {
      refused_per_address = true;
      limit = limits.per_address;
    } else if (handshaking >= limits.handshaking) {
      victim = oldest_handshake;
      victim_phase = static_cast<int>(Phase::kHandshake);
      limit = limits.handshaking;
    } else if (in_all >= limits.connections) {
      victim = idlest;
      victim_phase = static_cast<int>(Phase::kWaiting);
      limit = limits.connections;
    } else {
      return false;
    }
    // Before closing anyone: a peer that has closed since the last look
    // makes room. Only at a cap are the sockets looked at, and in a burst
    // at a cap not at every connection.
    if (!looked && Clock::now() >= st.next_look) {
      looked = true;
      for (Session& s : st.serving) {
        if (s.connection.Closed() || s.peer_gone) continue;
        if (refused_per_address && s.connection.PeerAddress() != address) continue;
        if (victim_phase == static_cast<int>(Phase::kHandshake) && s.phase.load() != victim_phase)
          continue;
        if (s.connection.PeerHasClosed()) {
          s.peer_gone = true;
          return false;
        }
      }
      st.next_look = Clock::now() + std::chrono::milliseconds(kLookPauseMs);
    }
    if (!victim) break;
    if (MovePhase(*victim, victim_phase, kClosedForRoom)) {
      victim->connection.Disconnect();  // its handler's read ends at once
      closed_for_room = victim->connection.PeerAddress();
      break;
    }
  }
  // Reported outside the server's lock: the report writes to the log.
  if (closed_for_room) {
    Report(Refusals{false, *closed_for_room, false, limit, 1, /*made_room=*/true});
    return false;
  }
  connection.Disconnect();
  Report(Refusals{false, address, refused_per_address, limit, 1});
  return true;
}

void TcpServer::Report(const Refusals& first) {
  State::Burst& burst = state_->Of(first);
  burst.last = Clock::now();
  if (burst.on) {
    ++burst.report.refused;
    return;
  }
  burst.on = true;
  burst.report = first;
  if (on_refusals_) {
    try {
      on_refusals_(burst.report);
    } catch (...) {
      // The report is lost, the refusal (or the close) stands.
    }
  }
}

bool TcpServer::SetPhase(const TcpConnection& connection, Phase phase) {
  Session* session = serving_session;
  if (serving_server != this || !session || &session->connection != &connection) return true;
  int from = session->phase.load();
  if (from == kClosedForRoom) return false;
  session->since.store(Clock::now().time_since_epoch().count());
  // Only the accept thread moves it meanwhile, and only to closed.
  return MovePhase(*session, from, static_cast<int>(phase));
}

void TcpServer::EndBursts(bool only_quiet) {
  State& st = *state_;
  const auto quiet = std::chrono::milliseconds(kQuietMs);
  for (State::Burst* burst : {&st.refusals, &st.room}) {
    if (!burst->on || (only_quiet && Clock::now() < burst->last + quiet)) continue;
    burst->on = false;
    burst->report.burst_over = true;
    if (on_refusals_) {
      try {
        on_refusals_(burst->report);
      } catch (...) {
        // The report is lost, the burst is over all the same.
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
  ++st.served_since_trim;
  try {
    it->thread = std::thread([this, session] {
      State& state = *state_;
      serving_server = this;
      serving_session = session;
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
      state.listening->Wake();
    });
  } catch (const std::system_error&) {
    --threads_in_process;
    st.serving.erase(it);  // no thread to serve it: close at once
  }
}

}  // namespace pw::platform
