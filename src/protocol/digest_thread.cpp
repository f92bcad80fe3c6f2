#include "protocol/digest_thread.h"

namespace pw::protocol {

DigestThread::DigestThread(std::size_t piece_size)
    : piece_size_(piece_size),
      memory_(std::make_unique_for_overwrite<char[]>(piece_size * kPieces)),
      thread_([this] { Run(); }) {}

DigestThread::~DigestThread() {
  {
    MutexLock lock(mu_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

char* DigestThread::Free() {
  MutexLock lock(mu_);
  changed_.wait(mu_, [&] {
    mu_.AssertHeld();  // the wait holds it while it asks
    return handed_ - hashed_ < kPieces;
  });
  return memory_.get() + (handed_ % kPieces) * piece_size_;
}

void DigestThread::Hand(std::size_t n) {
  {
    MutexLock lock(mu_);
    sizes_[handed_ % kPieces] = n;
    ++handed_;
  }
  changed_.notify_all();
}

platform::Sha256Digest DigestThread::Finish() {
  {
    MutexLock lock(mu_);
    changed_.wait(mu_, [&] {
      mu_.AssertHeld();
      return hashed_ == handed_;
    });
    if (error_) std::rethrow_exception(error_);
  }
  return hash_.Final();
}

void DigestThread::Run() {
  for (;;) {
    std::size_t next = 0;
    {
      MutexLock lock(mu_);
      changed_.wait(mu_, [&] {
        mu_.AssertHeld();
        return stop_ || hashed_ < handed_;
      });
      if (stop_) return;
      next = hashed_;
    }
    // The piece is the hash thread's until hashed_ moves past it; its size
    // was written before handed_ moved past it, under the lock.
    const std::size_t slot = next % kPieces;
    std::exception_ptr error;
    try {
      hash_.Update(memory_.get() + slot * piece_size_, sizes_[slot]);
    } catch (...) {  // the system's hash failed: Finish raises it
      error = std::current_exception();
    }
    {
      MutexLock lock(mu_);
      if (error && !error_) error_ = error;
      ++hashed_;
    }
    changed_.notify_all();
  }
}

}  // namespace pw::protocol
