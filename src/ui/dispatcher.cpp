#include "ui/dispatcher.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pw::ui {

namespace {

// Where a synchronised call's end is handed back to its waiting caller. A
// task destroyed without having run still ends the wait, with an error.
struct Completion {
  Mutex mu;
  std::condition_variable_any cv;
  bool done GUARDED_BY(mu) = false;
  std::exception_ptr error GUARDED_BY(mu);

  void Finish(std::exception_ptr e) LOCKS_EXCLUDED(mu) {
    MutexLock lock(mu);
    if (done) return;
    error = std::move(e);
    done = true;
    cv.notify_all();
  }
};

struct DropGuard {
  explicit DropGuard(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
  DropGuard(const DropGuard&) = delete;
  DropGuard& operator=(const DropGuard&) = delete;
  std::shared_ptr<Completion> completion;
  ~DropGuard() {
    completion->Finish(std::make_exception_ptr(
        std::runtime_error("the main thread dropped the call unrun")));
  }
};

std::string WhatOf(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ex.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

Dispatcher& Dispatcher::instance() {
  static Dispatcher dispatcher;
  return dispatcher;
}

void Dispatcher::attach_main_thread() {
  MutexLock lock(mu_);
  main_ = std::this_thread::get_id();
  stop_requested_ = false;
}

void Dispatcher::detach_main_thread() {
  MutexLock lock(mu_);
  main_ = {};
}

bool Dispatcher::on_main_thread() const {
  MutexLock lock(mu_);
  return main_ == std::this_thread::get_id();
}

bool Dispatcher::has_main_thread() const {
  MutexLock lock(mu_);
  return main_ != std::thread::id{};
}

void Dispatcher::assert_on_main_thread(const char* what) const {
  {
    MutexLock lock(mu_);
    if (main_ == std::thread::id{} || main_ == std::this_thread::get_id()) return;
  }
  std::fprintf(stderr, "pumpwire: %s called off the main thread; aborting\n", what);
  std::fflush(stderr);
  std::abort();
}

void Dispatcher::run_sync(const Task& fn) {
  bool call_here;
  {
    MutexLock lock(mu_);
    // No loop to hand over to, or we are the loop.
    call_here = main_ == std::thread::id{} || main_ == std::this_thread::get_id();
  }
  if (call_here) {
    fn();
    return;
  }
  auto completion = std::make_shared<Completion>();
  auto guard = std::make_shared<DropGuard>(completion);
  post([&fn, completion, guard] {
    std::exception_ptr error;
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    completion->Finish(error);
  });
  guard.reset();  // the queued task holds the guard now
  MutexLock lock(completion->mu);
  completion->cv.wait(completion->mu, [&] {
    completion->mu.AssertHeld();  // the wait holds it while it asks
    return completion->done;
  });
  if (completion->error) std::rethrow_exception(completion->error);
}

void Dispatcher::schedule_work() {
  ++wakeups_;
  cv_.notify_all();
  if (pump_ != nullptr) pump_->ScheduleWork();
}

void Dispatcher::post(Task fn) {
  MutexLock lock(mu_);
  worker_queue_.push_back({next_seq_++, std::move(fn)});
  schedule_work();
}

void Dispatcher::post_host(Task fn) {
  MutexLock lock(mu_);
  host_queue_.push_back({next_seq_++, std::move(fn)});
  schedule_work();
}

Dispatcher::TimerId Dispatcher::set_timer(std::chrono::milliseconds interval, Task fn) {
  MutexLock lock(mu_);
  const TimerId id = next_timer_++;
  timers_[id] = Timer{interval, Clock::now() + interval, std::move(fn)};
  schedule_work();
  return id;
}

void Dispatcher::kill_timer(TimerId id) {
  MutexLock lock(mu_);
  timers_.erase(id);
}

void Dispatcher::wake() {
  MutexLock lock(mu_);
  schedule_work();
}

void Dispatcher::set_message_pump(MessagePump* pump) {
  assert_on_main_thread("Dispatcher::set_message_pump");
  MutexLock lock(mu_);
  pump_ = pump;
  if (pump_ != nullptr) pump_->ScheduleWork();  // what was queued before
}

void Dispatcher::run_posted_work() {
  // A message loop carries the main thread here, the host's or a modal one
  // (a box or dialog over a task): due timers run in either, as a window's
  // timers do under a modal box; the host's own work waits for the
  // outermost.
  run_pending(true);
  const auto next = next_timer_due();
  MutexLock lock(mu_);
  if (pump_ != nullptr) pump_->ScheduleTimer(next);
}

Dispatcher::Clock::time_point Dispatcher::next_timer_due() {
  MutexLock lock(mu_);
  auto next = Clock::time_point::max();
  for (const auto& [id, timer] : timers_) next = std::min(next, timer.due);
  return next;
}

void Dispatcher::set_error_reporter(ErrorReporter reporter) {
  MutexLock lock(mu_);
  reporter_ = std::move(reporter);
}

void Dispatcher::report_current_exception() { report(WhatOf(std::current_exception())); }

void Dispatcher::report(std::string_view what) {
  ErrorReporter reporter;
  {
    MutexLock lock(mu_);
    reporter = reporter_;
  }
  try {
    if (reporter) {
      reporter(what);
      return;
    }
  } catch (...) {
    // A reporter that fails: the line below still tells.
  }
  std::fprintf(stderr, "pumpwire: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
}

bool Dispatcher::take(bool with_host_work, Task& task) {
  MutexLock lock(mu_);
  std::deque<Queued>* from = nullptr;
  if (!worker_queue_.empty()) from = &worker_queue_;
  if (with_host_work && !host_queue_.empty() &&
      (from == nullptr || host_queue_.front().seq < from->front().seq))
    from = &host_queue_;
  if (from == nullptr) return false;
  task = std::move(from->front().fn);
  from->pop_front();
  return true;
}

void Dispatcher::run_task(const Task& fn) {
  ++depth_;
  try {
    fn();
  } catch (...) {
    report_current_exception();
  }
  --depth_;
}

Dispatcher::Clock::time_point Dispatcher::run_due_timers() {
  std::vector<std::pair<TimerId, Task>> due;
  {
    MutexLock lock(mu_);
    const auto now = Clock::now();
    for (auto& [id, timer] : timers_) {
      if (timer.due <= now) {
        due.emplace_back(id, timer.fn);
        timer.due = now + timer.interval;
      }
    }
  }
  for (auto& [id, fn] : due) {
    bool alive;
    {
      // An earlier timer of this round may have killed it.
      MutexLock lock(mu_);
      alive = timers_.count(id) != 0;
    }
    if (alive) run_task(fn);
  }
  return next_timer_due();
}

void Dispatcher::pump_pending() {
  assert_on_main_thread("Dispatcher::pump_pending");
  run_pending(depth_ == 0);
}

void Dispatcher::run_pending(bool with_timers) {
  const bool outermost = depth_ == 0;
  std::size_t queued;
  {
    MutexLock lock(mu_);
    queued = worker_queue_.size() + (outermost ? host_queue_.size() : 0);
  }
  // What is queued now, one task at a time: work queued meanwhile waits for
  // the next call.
  for (Task task; queued > 0 && take(outermost, task); --queued) run_task(task);
  if (with_timers) run_due_timers();
}

bool Dispatcher::run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  assert_on_main_thread("Dispatcher::run_until");
  return serve(done, limit, depth_ == 0);
}

bool Dispatcher::wait_for_workers(const std::function<bool()>& done,
                                  std::chrono::milliseconds limit) {
  assert_on_main_thread("Dispatcher::wait_for_workers");
  return serve(done, limit, false);
}

bool Dispatcher::serve(const std::function<bool()>& done, std::chrono::milliseconds limit,
                       bool outermost) {
  const auto start = Clock::now();
  const auto deadline =
      limit == std::chrono::milliseconds::max() ? Clock::time_point::max() : start + limit;
  for (;;) {
    std::uint64_t seen;
    std::size_t queued;
    {
      MutexLock lock(mu_);
      seen = wakeups_;
      queued = worker_queue_.size() + (outermost ? host_queue_.size() : 0);
    }
    // What was queued when the round began, one task at a time, so timers
    // get their turn under a steady stream of work.
    for (Task task; queued > 0 && take(outermost, task); --queued) {
      run_task(task);
      if (done()) return true;
    }
    const auto next_timer = outermost ? run_due_timers() : Clock::time_point::max();
    if (done()) return true;
    const auto until = std::min(next_timer, deadline);
    MessagePump* pump = nullptr;
    {
      MutexLock lock(mu_);
      if (Clock::now() >= deadline) return false;
      auto woken = [&] {
        mu_.AssertHeld();  // the wait holds it while it asks
        return wakeups_ != seen || !worker_queue_.empty() || (outermost && !host_queue_.empty());
      };
      if (woken()) continue;
      if (pump_ == nullptr) {
        if (until == Clock::time_point::max())
          cv_.wait(mu_, woken);
        else
          cv_.wait_until(mu_, until, woken);
        continue;
      }
      pump = pump_;
    }
    // The pump's wait keeps the windows painting; a wake-up that came since
    // `seen` was read has already told the pump, so none is lost.
    pump->WaitForWork(until);
  }
}

void Dispatcher::run_off_main_thread(const Task& fn) {
  run_off_main_thread(fn, std::chrono::milliseconds::max(), [] {});
}

void Dispatcher::request_stop() {
  stop_requested_ = true;
  wake();
}

void Dispatcher::run_off_main_thread(const Task& fn, std::chrono::milliseconds limit,
                                     const Task& overdue) {
  if (!on_main_thread()) {
    fn();
    return;
  }
  std::atomic<bool> done{false};
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    done = true;
    wake();
  });
  if (!wait_for_workers([&] { return done || stop_requested_; }, limit) || !done) {
    try {
      overdue();
    } catch (...) {
      report_current_exception();  // the helper is still joined below
    }
  }
  wait_for_workers([&] { return done.load(); });
  helper.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace pw::ui
