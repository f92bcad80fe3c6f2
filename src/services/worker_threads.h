// The threads the plug-in starts besides the host's (the exchanges, the
// send button's session), kept so that UnLoad can end them: it asks each to
// stop, closes what it waits on so its reads fail at once, and joins it
// within a bounded time, before any window or state it uses is freed.
//
// Threads: Start, StopAll and Running may be called from any thread but the
// workers' own; StopAll on the main thread serves the workers' handed-over
// work (log lines, synchronised calls) while it waits.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "sync/mutex.h"
#include "sync/thread_annotations.h"

namespace pw {

// What a running worker sees of its own stop.
class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bool stop_requested() const;
  // What a stop must do to end this worker at once (close its socket so its
  // reads fail). Replaced by each call; an empty function clears it. Runs at
  // once when the stop has already been requested. Once a call that clears
  // it has returned, the old action is not running and never runs again, so
  // the worker may then free what it closes.
  void on_stop(std::function<void()> close);
  // Sets the stop and runs the current action (once). Any thread; what
  // WorkerThreads::StopAll does to each, and what ends a bounded exchange
  // that runs on no registered thread.
  void RequestStop();

 private:

  mutable Mutex mu_;
  bool stop_ GUARDED_BY(mu_) = false;
  std::function<void()> close_ GUARDED_BY(mu_);
};

// Owned by the plug-in state; the exchanges start their threads here.
class WorkerThreads {
 public:
  // How long the destructor waits for workers still running.
  static constexpr std::chrono::milliseconds kDestructorWait{5000};

  WorkerThreads();
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  // StopAll with a bounded wait; a thread that still runs then is let go.
  ~WorkerThreads();

  // Runs work on a thread of its own; finished threads are reaped. An
  // exception that work lets escape is reported through the dispatcher's
  // error reporter. Raises std::system_error when no thread can be made.
  // While a StopAll runs, the new worker starts with its stop requested.
  void Start(std::function<void(Worker&)> work);
  // Requests every worker's stop, runs its on_stop action, and joins them all
  // within limit in total (on the main thread, serving workers' handed-over
  // work meanwhile). False when some did not end in time; those stay listed,
  // and a later StopAll waits for them again.
  bool StopAll(std::chrono::milliseconds limit);
  // Workers that have not finished their work yet.
  std::size_t Running() const;

 private:
  // Shared with the threads, so one let go by the destructor never reaches
  // freed memory when it ends.
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace pw
