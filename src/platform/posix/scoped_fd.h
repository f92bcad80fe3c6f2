// The owner of one POSIX descriptor (socket, pipe end or file): move-only,
// closes what it holds when destroyed or given another.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/posix/posix_error.h"

namespace pw::platform {

class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) noexcept : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { reset(); }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  int release() noexcept { return std::exchange(fd_, -1); }

  // Closes what is held, ignoring a failing close, and takes fd.
  void reset(int fd = -1) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  // Closes now and raises when the close fails (a file whose last writes
  // did not land), naming subject; holding nothing is no error.
  void Close(const std::string& subject) {
    const int fd = release();
    if (fd >= 0 && ::close(fd) != 0) ThrowPosixError("close", subject, errno);
  }

 private:
  int fd_;
};

}  // namespace pw::platform
