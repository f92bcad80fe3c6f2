// The main thread. Windows are touched only there; other threads hand work
// over with run_sync (run and wait) or post (run later). On Windows the main
// thread is the host's own; on Linux it is whichever thread calls
// attach_main_thread and then pumps (run_until / pump_pending).
//
// A main thread that must wait for a worker never blocks blindly: it waits
// with run_until, which keeps running the workers' handed-over work, so a
// worker waiting in run_sync cannot deadlock against it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace pw::ui {

class Dispatcher {
 public:
  using Task = std::function<void()>;
  using TimerId = std::uint64_t;
  using Clock = std::chrono::steady_clock;

  // The one dispatcher of the process, like the OS's message queue.
  static Dispatcher& instance();

  Dispatcher() = default;
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // The calling thread becomes the main thread. detach_main_thread gives it up
  // (then run_sync runs in the caller, as there is no loop to wait for).
  void attach_main_thread();
  void detach_main_thread();
  bool on_main_thread() const;
  bool has_main_thread() const;

  // Runs fn on the main thread and waits; inline when already there. An
  // exception thrown by fn is raised again in the caller.
  void run_sync(const Task& fn);
  // Queues fn for the main thread and returns at once.
  void post(Task fn);

  // A periodic timer whose fn runs on the main thread every interval until
  // killed. Killing an unknown or already killed timer does nothing.
  TimerId set_timer(std::chrono::milliseconds interval, Task fn);
  void kill_timer(TimerId id);

  // Main thread only. Runs queued work and due timers until done() holds,
  // waiting for new work in between; false when the time limit ran out first.
  bool run_until(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::milliseconds::max());
  // Main thread only. Runs whatever is queued or due now, without waiting.
  void pump_pending();
  // Any thread: wakes a main thread waiting in run_until so it re-checks done().
  void wake();

  // Runs fn to its end, and raises what it raises. On the main thread fn runs
  // on a helper thread while the main thread keeps serving handed-over work,
  // so fn may wait for threads that are themselves waiting for the main
  // thread (stopping a server whose connections are logging); elsewhere it
  // runs in the caller.
  void run_off_main_thread(const Task& fn);

 private:
  struct Timer {
    std::chrono::milliseconds interval;
    Clock::time_point due;
    Task fn;
  };

  void assert_on_main_thread() const;
  // Runs one round of queued tasks and due timers; returns the time of the
  // next due timer.
  Clock::time_point run_round();

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::thread::id main_;             // guarded by mu_
  std::deque<Task> queue_;           // guarded by mu_
  std::map<TimerId, Timer> timers_;  // guarded by mu_
  TimerId next_timer_ = 1;           // guarded by mu_
  std::uint64_t wakeups_ = 0;        // guarded by mu_
};

// Shorthands for the common calls.
inline void RunOnMainThread(const Dispatcher::Task& fn) { Dispatcher::instance().run_sync(fn); }
inline void PostToMainThread(Dispatcher::Task fn) { Dispatcher::instance().post(std::move(fn)); }

}  // namespace pw::ui
