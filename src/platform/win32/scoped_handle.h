// The owner of one Windows kernel handle (file, pipe end, process, thread):
// move-only, closes what it holds when destroyed or given another. Holding
// nothing is nullptr; the INVALID_HANDLE_VALUE of a failed CreateFile is
// never kept (it is also the current process's pseudo handle).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <utility>

#include "platform/win32/win32_error.h"

namespace pw::platform {

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h = nullptr) noexcept : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ScopedHandle(ScopedHandle&& other) noexcept : h_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { reset(); }

  HANDLE get() const noexcept { return h_; }
  bool valid() const noexcept { return h_ != nullptr; }
  HANDLE release() noexcept { return std::exchange(h_, nullptr); }

  // Closes what is held, ignoring a failing close, and takes h.
  void reset(HANDLE h = nullptr) noexcept {
    if (h_ != nullptr) ::CloseHandle(h_);
    h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }

  // Closes now and raises when the close fails, naming subject; holding
  // nothing is no error.
  void Close(const std::string& subject) {
    const HANDLE h = release();
    if (h != nullptr && !::CloseHandle(h)) ThrowLastError("CloseHandle", subject);
  }

 private:
  HANDLE h_;
};

}  // namespace pw::platform
