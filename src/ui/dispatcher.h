// The main thread. Windows are touched only there; other threads hand work
// over with run_sync (run and wait) or post (run later). On Windows the main
// thread is the host's own; on Linux it is whichever thread calls
// attach_main_thread and then pumps (run_until / pump_pending).
//
// Two kinds of work arrive:
//   - the host's work (post_host): its commands, in the real host its own
//     window messages and calls into the exports, and the window timers;
//   - the workers' handed-over work (run_sync, post): their synchronised
//     calls, posted progress steps, log lines.
// The outermost loop serves both. A main thread that waits for a worker
// (wait_for_workers, run_off_main_thread, or run_until called from inside a
// task) serves only the workers' work: it never starts the host's next
// command inside the one that waits, just as a nested wait in the real host
// dispatches none of the host's window messages (WM_TIMER included). A
// worker waiting in run_sync therefore cannot deadlock against it, and no
// command re-enters a window that is half-way through another.
//
// Where the host's own message loop carries the main thread (the real
// application on Windows), a message pump (message_pump.h) is installed: it
// wakes that loop, which calls run_posted_work, and the nested waits wait
// through it so windows go on painting.
//
// Tasks leave the queues one at a time, so a task that opens a nested wait
// strands nothing queued behind it. A task that throws is reported (see
// set_error_reporter) and the loop goes on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <string_view>
#include <thread>

#include "sync/mutex.h"
#include "sync/thread_annotations.h"
#include "ui/message_pump.h"

namespace pw::ui {

class Dispatcher {
 public:
  using Task = std::function<void()>;
  using TimerId = std::uint64_t;
  using Clock = std::chrono::steady_clock;
  // Told the text (Windows-1251) of every error a task let escape.
  using ErrorReporter = std::function<void(std::string_view what)>;

  // The one dispatcher of the process, like the OS's message queue.
  static Dispatcher& instance();

  Dispatcher() = default;
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // The calling thread becomes the main thread. detach_main_thread gives it up
  // (then run_sync runs in the caller, as there is no loop to wait for).
  void attach_main_thread() LOCKS_EXCLUDED(mu_);
  void detach_main_thread() LOCKS_EXCLUDED(mu_);
  bool on_main_thread() const LOCKS_EXCLUDED(mu_);
  bool has_main_thread() const LOCKS_EXCLUDED(mu_);
  // Aborts the process with a message naming what when called on a thread
  // other than the main thread (any thread passes while none is attached).
  // Always on, release builds included.
  void assert_on_main_thread(const char* what = "a window operation") const LOCKS_EXCLUDED(mu_);

  // Workers' work. Runs fn on the main thread and waits; inline when already
  // there. The caller always gets fn's end: an exception thrown by fn is
  // raised again in the caller, and a task dropped unrun (the dispatcher
  // goes away) raises std::runtime_error.
  void run_sync(const Task& fn) LOCKS_EXCLUDED(mu_);
  // Workers' work. Queues fn for the main thread and returns at once.
  void post(Task fn) LOCKS_EXCLUDED(mu_);
  // The host's work: served by the outermost loop only. Any thread.
  void post_host(Task fn) LOCKS_EXCLUDED(mu_);

  // A periodic timer whose fn runs on the main thread every interval until
  // killed; served by the outermost loop only. Killing an unknown or already
  // killed timer does nothing.
  TimerId set_timer(std::chrono::milliseconds interval, Task fn) LOCKS_EXCLUDED(mu_);
  void kill_timer(TimerId id) LOCKS_EXCLUDED(mu_);

  // Main thread only. Runs queued work (and, as the outermost loop, the
  // host's work and due timers) until done() holds, waiting for new work in
  // between; false when the time limit ran out first. Called from inside a
  // task it is a wait for workers (see wait_for_workers).
  bool run_until(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::milliseconds::max())
      LOCKS_EXCLUDED(mu_);
  // Main thread only. A wait for workers: serves only their handed-over
  // work until done() holds; false when the time limit ran out first.
  bool wait_for_workers(const std::function<bool()>& done,
                        std::chrono::milliseconds limit = std::chrono::milliseconds::max())
      LOCKS_EXCLUDED(mu_);
  // Main thread only. Runs whatever is queued or due now, without waiting
  // (the workers' work only when called from inside a task).
  void pump_pending() LOCKS_EXCLUDED(mu_);
  // Any thread: wakes a main thread waiting in run_until so it re-checks done().
  void wake() LOCKS_EXCLUDED(mu_);

  // Main thread: the host's loop carries the main thread through pump from
  // now on (nullptr: back to waiting on our own). The caller keeps the pump
  // alive while installed, and uninstalls it before it goes.
  void set_message_pump(MessagePump* pump) LOCKS_EXCLUDED(mu_);
  // Main thread: runs fn as a task of the loop (a window's event handler
  // outside the dispatcher's own loop): the waits and modal loops inside it
  // serve only the workers' work, and an error it lets escape is reported.
  void run_as_task(const Task& fn) LOCKS_EXCLUDED(mu_) { run_task(fn); }
  // Main thread, called by the host's loop when the pump says so: runs what
  // is queued and due now, as pump_pending does, then tells the pump when
  // the next timer is due.
  void run_posted_work() LOCKS_EXCLUDED(mu_);

  // Runs fn to its end, and raises what it raises. On the main thread fn runs
  // on a helper thread while the main thread waits for it serving the
  // workers' work, so fn may wait for threads that are themselves waiting
  // for the main thread (stopping a server whose connections are logging);
  // elsewhere it runs in the caller.
  void run_off_main_thread(const Task& fn) LOCKS_EXCLUDED(mu_);
  // The same with a bound: when limit passes before fn ends, or a stop is
  // requested, overdue runs once on the main thread (it makes fn end soon,
  // say by closing fn's connection) and the wait goes on until fn has ended.
  // Off the main thread fn runs in the caller, unbounded.
  void run_off_main_thread(const Task& fn, std::chrono::milliseconds limit, const Task& overdue)
      LOCKS_EXCLUDED(mu_);
  // Any thread: the program is stopping (Ctrl-C, SIGTERM, the session's
  // end). A bounded wait above ends its helper's work at once, as do those
  // that start later, until a main thread attaches anew.
  void request_stop() LOCKS_EXCLUDED(mu_);

  // Who hears of a task's error; nullptr restores the default, a line on
  // standard error. Any thread.
  void set_error_reporter(ErrorReporter reporter) LOCKS_EXCLUDED(mu_);
  // Tells the reporter of a failure (Windows-1251 text). Any thread.
  void report(std::string_view what) LOCKS_EXCLUDED(mu_);
  // Tells the reporter of the exception being handled (call in a catch).
  void report_current_exception() LOCKS_EXCLUDED(mu_);

 private:
  struct Timer {
    std::chrono::milliseconds interval;
    Clock::time_point due;
    Task fn;
  };
  struct Queued {
    std::uint64_t seq;
    Task fn;
  };

  // The outermost loop (host work and timers too) or a wait for workers.
  bool serve(const std::function<bool()>& done, std::chrono::milliseconds limit, bool outermost)
      LOCKS_EXCLUDED(mu_);
  // Takes the next task in order of arrival, the host's only when allowed.
  bool take(bool with_host_work, Task& task) LOCKS_EXCLUDED(mu_);
  // What is queued now (the host's work only in the outermost loop), then
  // the due timers when asked.
  void run_pending(bool with_timers) LOCKS_EXCLUDED(mu_);
  // Runs every timer due now; returns the time of the next due timer.
  Clock::time_point run_due_timers() LOCKS_EXCLUDED(mu_);
  // Runs fn as a task of the loop: nested waits inside it serve workers only.
  void run_task(const Task& fn) LOCKS_EXCLUDED(mu_);
  // Tells the pump, if any, that work was queued. Under mu_.
  void schedule_work() EXCLUSIVE_LOCKS_REQUIRED(mu_);
  // The next due time of any timer; max() when none.
  Clock::time_point next_timer_due() LOCKS_EXCLUDED(mu_);

  mutable Mutex mu_;
  // Waits on mu_ itself, which the analysis knows, rather than on a
  // std::unique_lock, which it does not.
  std::condition_variable_any cv_;
  std::thread::id main_ GUARDED_BY(mu_);
  std::deque<Queued> worker_queue_ GUARDED_BY(mu_);
  std::deque<Queued> host_queue_ GUARDED_BY(mu_);
  std::uint64_t next_seq_ GUARDED_BY(mu_) = 0;
  std::map<TimerId, Timer> timers_ GUARDED_BY(mu_);
  TimerId next_timer_ GUARDED_BY(mu_) = 1;
  std::uint64_t wakeups_ GUARDED_BY(mu_) = 0;
  std::atomic<bool> stop_requested_{false};
  ErrorReporter reporter_ GUARDED_BY(mu_);
  MessagePump* pump_ GUARDED_BY(mu_) = nullptr;
  int depth_ = 0;  // main thread only: tasks running now
};

// Shorthands for the common calls.
inline void RunOnMainThread(const Dispatcher::Task& fn) { Dispatcher::instance().run_sync(fn); }
inline void PostToMainThread(Dispatcher::Task fn) { Dispatcher::instance().post(std::move(fn)); }
// Aborts unless on the main thread (or none is attached yet).
inline void AssertOnMainThread(const char* what) { Dispatcher::instance().assert_on_main_thread(what); }

}  // namespace pw::ui
