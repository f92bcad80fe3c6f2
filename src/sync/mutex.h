// A mutex the thread-safety analysis knows, and the scoped lock to take it
// with. std::mutex and std::lock_guard carry no annotations, so a field
// guarded by a std::mutex cannot be checked.
#pragma once

#include <mutex>

#include "sync/thread_annotations.h"

namespace pw {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() EXCLUSIVE_LOCK_FUNCTION() { mu_.lock(); }
  void Unlock() UNLOCK_FUNCTION() { mu_.unlock(); }
  // Tells the analysis the lock is held where it cannot see it taken.
  void AssertHeld() ASSERT_EXCLUSIVE_LOCK() {}

  // For std::unique_lock and std::condition_variable_any.
  void lock() EXCLUSIVE_LOCK_FUNCTION() { mu_.lock(); }
  void unlock() UNLOCK_FUNCTION() { mu_.unlock(); }

 private:
  std::mutex mu_;
};

// Holds mu from construction to the end of the scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mu) EXCLUSIVE_LOCK_FUNCTION(mu) : mu_(mu) { mu_.Lock(); }
  ~MutexLock() UNLOCK_FUNCTION() { mu_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mu_;
};

}  // namespace pw
