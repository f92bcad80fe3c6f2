// TcpServer: the accept thread and one thread per connection, over the
// backend's listening sockets, with the caps on connections.
#include <algorithm>
#include <list>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/tcp.h"
#include "platform/tcp_backend.h"

namespace pw::platform {

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

}  // namespace

struct TcpServer::State {
  // Set by Activate before the accept thread starts, cleared by Deactivate
  // after every thread has been joined.
  std::unique_ptr<ListeningSockets> listening;
  std::thread accept_thread;
  std::atomic<bool> stopping{false};

  mutable Mutex mu;
  std::list<Session> serving GUARDED_BY(mu);
  std::list<Session> finished GUARDED_BY(mu);  // handler done, thread not joined
  // Connections in serving by peer address; an address leaves at 0.
  std::unordered_map<std::string, std::size_t> per_address GUARDED_BY(mu);

  // The burst of refusals under way; the accept thread's.
  bool in_burst = false;
  Refusals burst;
  Clock::time_point last_refusal;

  void CountOut(const std::string& address) EXCLUSIVE_LOCKS_REQUIRED(mu) {
    const auto it = per_address.find(address);
    if (it != per_address.end() && --it->second == 0) per_address.erase(it);
  }

  void ReapFinished() LOCKS_EXCLUDED(mu) {
    MutexLock lock(mu);
    for (Session& s : finished) {
      s.thread.join();
      --threads_in_process;
    }
    finished.clear();
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
    st.per_address.clear();
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
      const Deadline burst_end = st.in_burst ? Deadline(st.last_refusal + quiet) : std::nullopt;
      std::optional<TcpConnection> accepted = st.listening->Accept(burst_end);
      if (st.stopping.load()) break;
      st.ReapFinished();
      if (st.in_burst && Clock::now() >= st.last_refusal + quiet) EndBurst();
      if (accepted && !Refused(*accepted)) Serve(std::move(*accepted));
    } catch (...) {
      // Out of memory for one more connection: it is closed, the server goes on.
      if (st.stopping.load()) break;
    }
  }
  EndBurst();
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
  const std::string& address = connection.PeerAddress();
  std::size_t in_all = 0, from_address = 0;
  {
    MutexLock lock(st.mu);
    in_all = st.serving.size();
    const auto it = st.per_address.find(address);
    if (it != st.per_address.end()) from_address = it->second;
  }
  // With room in all, it is the address's own cap that refuses.
  const bool under_total = in_all < limits.connections;
  if (under_total && from_address < limits.per_address) return false;

  connection.Disconnect();
  st.last_refusal = Clock::now();
  if (st.in_burst) {
    ++st.burst.refused;
    return true;
  }
  st.in_burst = true;
  st.burst = Refusals{false, address, under_total,
                      under_total ? limits.per_address : limits.connections, 1};
  if (on_refusals_) {
    try {
      on_refusals_(st.burst);
    } catch (...) {
      // The report is lost, the refusal stands.
    }
  }
  return true;
}

void TcpServer::EndBurst() {
  State& st = *state_;
  if (!st.in_burst) return;
  st.in_burst = false;
  st.burst.burst_over = true;
  if (on_refusals_) {
    try {
      on_refusals_(st.burst);
    } catch (...) {
      // The report is lost, the burst is over all the same.
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
  const std::string& address = session->connection.PeerAddress();  // fixed from here on
  ++st.per_address[address];
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
        state.CountOut(session->connection.PeerAddress());
        state.finished.splice(state.finished.end(), state.serving, session->self);
      }
      session->connection.Disconnect();
      state.listening->Wake();
    });
  } catch (const std::system_error&) {
    --threads_in_process;
    st.CountOut(address);
    st.serving.erase(it);  // no thread to serve it: close at once
  }
}

}  // namespace pw::platform
