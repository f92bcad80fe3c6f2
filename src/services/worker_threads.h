#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
namespace pw {
class Worker {            // what a running worker sees of its own stop
 public:
  bool stop_requested() const;
  // What a stop must do to end this worker at once (close its socket so its
  // reads fail). Replaced by each call; an empty function clears it. Runs at
  // once when the stop has already been requested.
  void on_stop(std::function<void()> close);

 private:
  friend class WorkerThreads;
  // Sets the flag and runs the close action, under the lock that on_stop
  // takes, so an action that on_stop has cleared never runs afterwards.
  void RequestStop();

  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::function<void()> close_;  // guarded by mu_
};
class WorkerThreads {     // owned by the plug-in state; the exchanges start their threads here
 public:
  WorkerThreads() = default;
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  ~WorkerThreads();       // StopAll with a bounded wait
  // Runs work on a thread of its own; finished threads are reaped.
  void Start(std::function<void(Worker&)> work);
  // Requests every worker's stop, runs its on_stop action, and joins them all
  // within limit in total (on the main thread, serving workers' handed-over
  // work meanwhile). False when some did not end in time.
  bool StopAll(std::chrono::milliseconds limit);
  std::size_t Running() const;

 private:
  struct Entry {
    Worker worker;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  // Joins the threads that have ended. Caller holds mu_.
  void Reap();
  bool AllDone() const;

  mutable std::mutex mu_;
  std::condition_variable ended_;
  std::list<std::unique_ptr<Entry>> entries_;  // guarded by mu_
};
}
