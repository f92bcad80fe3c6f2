#include "services/worker_threads.h"

#include <exception>

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
  if (stop_.exchange(true)) return;
  if (close_) close_();
}

WorkerThreads::~WorkerThreads() {
  if (StopAll(std::chrono::seconds(5))) return;
  // A worker that would not end keeps its entry alive through its own
  // reference; it is let go rather than ending the process.
  std::lock_guard lock(sync_->mu);
  for (auto& entry : entries_)
    if (entry->thread.joinable()) entry->thread.detach();
}

void WorkerThreads::Start(std::function<void(Worker&)> work) {
  auto entry = std::make_shared<Entry>();
  std::lock_guard lock(sync_->mu);
  ReapLocked();
  entry->thread = std::thread([sync = sync_, entry, work = std::move(work)] {
    try {
      work(entry->worker);
    } catch (...) {
      // A worker's own errors are its to log; nothing may end the process.
    }
    {
      std::lock_guard done_lock(sync->mu);
      entry->done = true;
    }
    sync->ended.notify_all();
    ui::Dispatcher::instance().wake();
  });
  entries_.push_back(std::move(entry));
}

bool WorkerThreads::StopAll(std::chrono::milliseconds limit) {
  std::list<std::shared_ptr<Entry>> stopping;
  {
    std::lock_guard lock(sync_->mu);
    stopping = entries_;
  }
  for (auto& entry : stopping) entry->worker.RequestStop();
  auto all_done = [&] {
    for (auto& entry : stopping)
      if (!entry->done.load()) return false;
    return true;
  };
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  bool ended;
  if (dispatcher.on_main_thread()) {
    // The workers' last lines need the main thread while they end.
    ended = dispatcher.run_until(all_done, limit);
  } else {
    std::unique_lock lock(sync_->mu);
    ended = sync_->ended.wait_for(lock, limit, all_done);
  }
  std::lock_guard lock(sync_->mu);
  ReapLocked();
  return ended;
}

std::size_t WorkerThreads::Running() const {
  std::lock_guard lock(sync_->mu);
  std::size_t n = 0;
  for (const auto& entry : entries_) n += !entry->done.load();
  return n;
}

void WorkerThreads::ReapLocked() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if ((*it)->done.load()) {
      (*it)->thread.join();
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace pw
