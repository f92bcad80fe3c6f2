// A latch and a semaphore over a mutex and a condition variable, for tests
// that hand a moment from one thread to another. The C++ library's
// std::latch and std::*_semaphore wait on atomics, which MinGW's library
// builds without a futex and where a wake-up can be lost (seen under Wine).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <thread>

#include "sync/mutex.h"

namespace pw::test {

class Latch {
 public:
  explicit Latch(std::ptrdiff_t count) : count_(count) {}
  void count_down() {
    MutexLock lock(mu_);
    if (count_ > 0 && --count_ == 0) cv_.notify_all();
  }
  void wait() {
    MutexLock lock(mu_);
    cv_.wait(mu_, [&] {
      mu_.AssertHeld();  // the wait holds it while it asks
      return count_ == 0;
    });
  }

 private:
  Mutex mu_;
  std::condition_variable_any cv_;
  std::ptrdiff_t count_ GUARDED_BY(mu_);
};

class Semaphore {
 public:
  explicit Semaphore(std::ptrdiff_t count = 0) : count_(count) {}
  void release(std::ptrdiff_t n = 1) {
    MutexLock lock(mu_);
    count_ += n;
    cv_.notify_all();
  }
  void acquire() {
    MutexLock lock(mu_);
    cv_.wait(mu_, [&] {
      mu_.AssertHeld();
      return count_ > 0;
    });
    --count_;
  }
  // False when nothing was released within limit.
  template <typename Duration>
  bool try_acquire_for(Duration limit) {
    MutexLock lock(mu_);
    if (!cv_.wait_for(mu_, limit, [&] {
          mu_.AssertHeld();
          return count_ > 0;
        }))
      return false;
    --count_;
    return true;
  }

 private:
  Mutex mu_;
  std::condition_variable_any cv_;
  std::ptrdiff_t count_ GUARDED_BY(mu_);
};

// Runs fn, which must not hang: the program aborts if it still runs after
// limit (a deadlock then shows as a failed test program, not a stuck one).
template <typename Duration>
void MustNotHang(const std::function<void()>& fn, Duration limit) {
  Semaphore done;
  std::thread watchdog([&] {
    if (!done.try_acquire_for(limit)) std::abort();
  });
  fn();
  done.release();
  watchdog.join();
}

}  // namespace pw::test
