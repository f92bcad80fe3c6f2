#include "services/worker_threads.h"


#include "ui/dispatcher.h"

namespace pw {

bool Worker::stop_requested() const { return stop_.load(); }

void Worker::on_stop(std::function<void()> close) {
  std::lock_guard lock(mu_);
  close_ = std::move(close);
  if (close_ && stop_.load()) close_();
}

void Worker::RequestStop() {
  std::lock_guard lock(mu_);
  stop_.store(true);
  if (close_) close_();
}

WorkerThreads::~WorkerThreads() {
  if (StopAll(std::chrono::seconds(10))) return;
  // A worker that does not end must still not outlive what it uses: wait on,
  // serving the main thread's handed-over work when this is the main thread.
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  if (dispatcher.on_main_thread()) dispatcher.run_until([this] { return AllDone(); });
  std::unique_lock lock(mu_);
  ended_.wait(lock, [this] {
    for (const auto& e : entries_)
      if (!e->done.load()) return false;
    return true;
  });
  Reap();
}

void WorkerThreads::Start(std::function<void(Worker&)> work) {
  std::lock_guard lock(mu_);
  Reap();
  auto entry = std::make_unique<Entry>();
  Entry* e = entry.get();
  entries_.push_back(std::move(entry));
  e->thread = std::thread([this, e, work = std::move(work)] {
    try {
      work(e->worker);
    } catch (...) {
      // A worker reports its own errors; nothing may end the process here.
    }
    {
      std::lock_guard done_lock(mu_);
      e->done.store(true);
    }
    ended_.notify_all();
    ui::Dispatcher::instance().wake();
  });
}

bool WorkerThreads::StopAll(std::chrono::milliseconds limit) {
  {
    std::lock_guard lock(mu_);
    for (auto& e : entries_) e->worker.RequestStop();
  }
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  bool ended;
  if (dispatcher.on_main_thread()) {
    ended = dispatcher.run_until([this] { return AllDone(); }, limit);
  } else {
    std::unique_lock lock(mu_);
    ended = ended_.wait_for(lock, limit, [this] {
      for (const auto& e : entries_)
        if (!e->done.load()) return false;
      return true;
    });
  }
  std::lock_guard lock(mu_);
  Reap();
  return ended && entries_.empty();
}

std::size_t WorkerThreads::Running() const {
  std::lock_guard lock(mu_);
  std::size_t n = 0;
  for (const auto& e : entries_) n += !e->done.load();
  return n;
}

bool WorkerThreads::AllDone() const { return Running() == 0; }

void WorkerThreads::Reap() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if ((*it)->done.load()) {
      // It has set done as its last step under mu_: the join is immediate.
      (*it)->thread.join();
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace pw
