#include "ui/dispatcher.h"

#include <atomic>
#include <cassert>
#include <memory>
#include <vector>

namespace pw::ui {

Dispatcher& Dispatcher::instance() {
  static Dispatcher dispatcher;
  return dispatcher;
}

void Dispatcher::attach_main_thread() {
  std::lock_guard lock(mu_);
  main_ = std::this_thread::get_id();
}

void Dispatcher::detach_main_thread() {
  std::lock_guard lock(mu_);
  main_ = {};
}

bool Dispatcher::on_main_thread() const {
  std::lock_guard lock(mu_);
  return main_ == std::this_thread::get_id();
}

bool Dispatcher::has_main_thread() const {
  std::lock_guard lock(mu_);
  return main_ != std::thread::id{};
}

void Dispatcher::assert_on_main_thread() const { assert(on_main_thread()); }

void Dispatcher::run_sync(const Task& fn) {
  bool call_here;
  {
    std::lock_guard lock(mu_);
    // No loop to hand over to, or we are the loop.
    call_here = main_ == std::thread::id{} || main_ == std::this_thread::get_id();
  }
  if (call_here) {
    fn();
    return;
  }
  struct Completion {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr error;
  };
  auto completion = std::make_shared<Completion>();
  post([&fn, completion] {
    std::exception_ptr error;
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(completion->mu);
    completion->error = error;
    completion->done = true;
    completion->cv.notify_all();
  });
  std::unique_lock lock(completion->mu);
  completion->cv.wait(lock, [&] { return completion->done; });
  if (completion->error) std::rethrow_exception(completion->error);
}

void Dispatcher::post(Task fn) {
  std::lock_guard lock(mu_);
  queue_.push_back(std::move(fn));
  ++wakeups_;
  cv_.notify_all();
}

Dispatcher::TimerId Dispatcher::set_timer(std::chrono::milliseconds interval, Task fn) {
  std::lock_guard lock(mu_);
  const TimerId id = next_timer_++;
  timers_[id] = Timer{interval, Clock::now() + interval, std::move(fn)};
  ++wakeups_;
  cv_.notify_all();
  return id;
}

void Dispatcher::kill_timer(TimerId id) {
  std::lock_guard lock(mu_);
  timers_.erase(id);
}

void Dispatcher::wake() {
  std::lock_guard lock(mu_);
  ++wakeups_;
  cv_.notify_all();
}

Dispatcher::Clock::time_point Dispatcher::run_round() {
  std::deque<Task> tasks;
  std::vector<std::pair<TimerId, Task>> due;
  {
    std::lock_guard lock(mu_);
    tasks.swap(queue_);
    const auto now = Clock::now();
    for (auto& [id, timer] : timers_) {
      if (timer.due <= now) {
        due.emplace_back(id, timer.fn);
        timer.due = now + timer.interval;
      }
    }
  }
  for (auto& task : tasks) task();
  for (auto& [id, fn] : due) {
    bool alive;
    {
      // A task or an earlier timer of this round may have killed it.
      std::lock_guard lock(mu_);
      alive = timers_.count(id) != 0;
    }
    if (alive) fn();
  }
  std::lock_guard lock(mu_);
  auto next = Clock::time_point::max();
  for (const auto& [id, timer] : timers_) next = std::min(next, timer.due);
  return next;
}

void Dispatcher::pump_pending() {
  assert_on_main_thread();
  run_round();
}

bool Dispatcher::run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  assert_on_main_thread();
  const auto start = Clock::now();
  const auto deadline =
      limit == std::chrono::milliseconds::max() ? Clock::time_point::max() : start + limit;
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(mu_);
      seen = wakeups_;
    }
    const auto next_timer = run_round();
    if (done()) return true;
    std::unique_lock lock(mu_);
    if (Clock::now() >= deadline) return false;
    const auto until = std::min(next_timer, deadline);
    auto woken = [&] { return wakeups_ != seen || !queue_.empty(); };
    if (until == Clock::time_point::max())
      cv_.wait(lock, woken);
    else
      cv_.wait_until(lock, until, woken);
  }
}

void Dispatcher::run_off_main_thread(const Task& fn) {
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
  run_until([&] { return done.load(); });
  helper.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace pw::ui
