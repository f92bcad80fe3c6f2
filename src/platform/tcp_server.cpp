// TcpServer: the accept thread and one thread per connection, over the
// backend's listening sockets.
#include <list>
#include <thread>
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
  for (;;) {
    try {
      std::optional<TcpConnection> accepted = st.listening->Accept();
      if (st.stopping.load()) return;
      st.ReapFinished();
      if (accepted) Serve(std::move(*accepted));
    } catch (...) {
      // Out of memory for one more connection: it is closed, the server goes on.
      if (st.stopping.load()) return;
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
      state.listening->Wake();
    });
  } catch (const std::system_error&) {
    --threads_in_process;
    st.serving.erase(it);  // no thread to serve it: close at once
  }
}

}  // namespace pw::platform
