// Owners of Winsock handles: a socket and an event object. Move-only; each
// closes what it holds when destroyed or given another.
#pragma once

#include <winsock2.h>

#include <utility>

namespace pw::platform {

class ScopedSocket {
 public:
  explicit ScopedSocket(SOCKET s = INVALID_SOCKET) noexcept : s_(s) {}
  ScopedSocket(ScopedSocket&& other) noexcept : s_(other.release()) {}
  ScopedSocket& operator=(ScopedSocket&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
  ~ScopedSocket() { reset(); }

  SOCKET get() const noexcept { return s_; }
  bool valid() const noexcept { return s_ != INVALID_SOCKET; }
  SOCKET release() noexcept { return std::exchange(s_, INVALID_SOCKET); }

  void reset(SOCKET s = INVALID_SOCKET) noexcept {
    if (s_ != INVALID_SOCKET) ::closesocket(s_);
    s_ = s;
  }

 private:
  SOCKET s_;
};

// A manual-reset event object, as WSACreateEvent makes them.
class ScopedWsaEvent {
 public:
  explicit ScopedWsaEvent(WSAEVENT e = WSA_INVALID_EVENT) noexcept : e_(e) {}
  ScopedWsaEvent(ScopedWsaEvent&& other) noexcept : e_(std::exchange(other.e_, WSA_INVALID_EVENT)) {}
  ScopedWsaEvent& operator=(ScopedWsaEvent&& other) noexcept {
    if (this != &other) {
      Close();
      e_ = std::exchange(other.e_, WSA_INVALID_EVENT);
    }
    return *this;
  }
  ScopedWsaEvent(const ScopedWsaEvent&) = delete;
  ScopedWsaEvent& operator=(const ScopedWsaEvent&) = delete;
  ~ScopedWsaEvent() { Close(); }

  WSAEVENT get() const noexcept { return e_; }

 private:
  void Close() noexcept {
    if (e_ != WSA_INVALID_EVENT) ::WSACloseEvent(e_);
  }

  WSAEVENT e_;
};

}  // namespace pw::platform
