#include "services/worker_threads.h"

#include <condition_variable>
#include <mutex>
#include <list>
#include <thread>
#include <utility>
#include <vector>

#include "ui/dispatcher.h"

namespace pw {

bool Worker::stop_requested() const {
  MutexLock lock(mu_);
  return stop_;
}

void Worker::on_stop(std::function<void()> close) {
  // The action runs under the lock, so a worker that clears it knows the
  // old one has finished.
  MutexLock lock(mu_);
  close_ = std::move(close);
  if (stop_ && close_) close_();
}

void Worker::RequestStop() {
  MutexLock lock(mu_);
  if (stop_) return;
  stop_ = true;
  if (close_) close_();
}

struct WorkerThreads::State {
  struct Entry {
    std::shared_ptr<Worker> worker = std::make_shared<Worker>();
    bool finished = false;  // guarded by the state's mu, as the list
    std::thread thread;
  };

  Mutex mu;
  std::condition_variable_any finished_cv;
  std::list<Entry> entries GUARDED_BY(mu);  // nodes stay put while listed
  int stopping GUARDED_BY(mu) = 0;          // StopAll calls under way

  // Joins the threads that have finished their work and drops them. They
  // touch nothing of the state after marking themselves finished but the
  // condition variable and the dispatcher, so the join is short.
  void ReapLocked() EXCLUSIVE_LOCKS_REQUIRED(mu) {
    for (auto it = entries.begin(); it != entries.end();) {
      if (!it->finished) {
        ++it;
        continue;
      }
      if (it->thread.joinable()) it->thread.join();
      it = entries.erase(it);
    }
  }

  bool AllFinishedLocked() const EXCLUSIVE_LOCKS_REQUIRED(mu) {
    for (const Entry& e : entries)
      if (!e.finished) return false;
    return true;
  }
};

WorkerThreads::WorkerThreads() : state_(std::make_shared<State>()) {}

WorkerThreads::~WorkerThreads() {
  {
    MutexLock lock(state_->mu);
    state_->ReapLocked();
    // Nothing running: leave the dispatcher alone, which may be gone
    // already at the end of the process.
    if (state_->entries.empty()) return;
  }
  if (StopAll(kDestructorWait)) return;
  // Let go of the rest: they keep the shared state alive until they end.
  MutexLock lock(state_->mu);
  for (State::Entry& e : state_->entries)
    if (e.thread.joinable()) e.thread.detach();
}

void WorkerThreads::Start(std::function<void(Worker&)> work) {
  MutexLock lock(state_->mu);
  state_->ReapLocked();
  State::Entry& entry = state_->entries.emplace_back();
  if (state_->stopping > 0) entry.worker->RequestStop();
  try {
    entry.thread = std::thread([state = state_, entry = &entry, worker = entry.worker,
                                work = std::move(work)] {
      try {
        work(*worker);
      } catch (...) {
        ui::Dispatcher::instance().report_current_exception();
      }
      {
        MutexLock lock(state->mu);
        entry->finished = true;
      }
      state->finished_cv.notify_all();
      ui::Dispatcher::instance().wake();
    });
  } catch (...) {
    state_->entries.pop_back();
    throw;
  }
}

bool WorkerThreads::StopAll(std::chrono::milliseconds limit) {
  std::vector<std::shared_ptr<Worker>> workers;
  {
    MutexLock lock(state_->mu);
    ++state_->stopping;
    for (const State::Entry& e : state_->entries) workers.push_back(e.worker);
  }
  // Outside the lock: a close action may take a moment, and a worker may be
  // starting another meanwhile.
  for (const auto& worker : workers) worker->RequestStop();

  const auto all_finished = [this] {
    MutexLock lock(state_->mu);
    return state_->AllFinishedLocked();
  };
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  if (dispatcher.on_main_thread()) {
    dispatcher.wait_for_workers(all_finished, limit);
  } else {
    MutexLock lock(state_->mu);
    state_->finished_cv.wait_for(state_->mu, limit, [this] {
      state_->mu.AssertHeld();  // the wait holds it while it asks
      return state_->AllFinishedLocked();
    });
  }
  MutexLock lock(state_->mu);
  state_->ReapLocked();
  --state_->stopping;
  return state_->entries.empty();
}

std::size_t WorkerThreads::Running() const {
  MutexLock lock(state_->mu);
  std::size_t n = 0;
  for (const State::Entry& e : state_->entries) n += !e.finished;
  return n;
}

}  // namespace pw
