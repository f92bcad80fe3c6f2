// A body's SHA-256 made on a thread of its own, trailing the transfer: the
// transfer thread fills a piece, hands it over and goes on with the next
// while the piece is hashed, so on a machine with a core to spare the
// digest costs the transfer no time. Memory stays at a few pieces
// whatever the body's size.
//
// One thread (the transfer's) calls every method. The hash thread is
// joined before the object is gone, also when the transfer ends early.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "platform/sha256.h"
#include "sync/mutex.h"
#include "sync/thread_annotations.h"

namespace pw::protocol {

class DigestThread {
 public:
  static constexpr std::size_t kPieces = 4;

  explicit DigestThread(std::size_t piece_size);
  ~DigestThread();
  DigestThread(const DigestThread&) = delete;
  DigestThread& operator=(const DigestThread&) = delete;

  std::size_t piece_size() const { return piece_size_; }

  // The piece to fill next, of piece_size bytes; waits while every piece
  // is still being hashed.
  char* Free() LOCKS_EXCLUDED(mu_);
  // The piece Free gave holds n bytes: they are hashed after every piece
  // handed over before. The piece is left as it is until it is hashed.
  void Hand(std::size_t n) LOCKS_EXCLUDED(mu_);
  // Waits until every piece handed over is hashed: the digest of them all.
  // Raises the hash's own failure, if it had one.
  platform::Sha256Digest Finish() LOCKS_EXCLUDED(mu_);

 private:
  void Run() LOCKS_EXCLUDED(mu_);

  const std::size_t piece_size_;
  std::unique_ptr<char[]> memory_;  // kPieces pieces of piece_size_
  std::size_t sizes_[kPieces] = {};  // the bytes held by each handed piece
  Mutex mu_;
  std::condition_variable_any changed_;
  std::size_t handed_ GUARDED_BY(mu_) = 0;  // pieces handed over so far
  std::size_t hashed_ GUARDED_BY(mu_) = 0;  // pieces hashed so far
  bool stop_ GUARDED_BY(mu_) = false;
  std::exception_ptr error_ GUARDED_BY(mu_);
  platform::Sha256 hash_;  // the hash thread's until Finish
  std::thread thread_;
};

}  // namespace pw::protocol
