// What TcpConnection is on every system: its life (made empty, moved,
// destroyed) and its receive buffer, with the reads served from it and
// Unread. The backend keeps the socket; its Receive fills the buffer (or the
// caller's memory for a bulk read).
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/tcp.h"
#include "platform/tcp_backend.h"

namespace pw::platform {

TcpConnection::TcpConnection() noexcept = default;

TcpConnection::~TcpConnection() { Disconnect(); }

TcpConnection::TcpConnection(TcpConnection&& other) noexcept { MoveFrom(other); }

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
  if (this != &other) {
    Disconnect();
    MoveFrom(other);
  }
  return *this;
}

void TcpConnection::MoveFrom(TcpConnection& other) noexcept {
  // No other thread holds either connection while it moves, so the socket
  // goes over as it is.
  socket_ = std::move(other.socket_);
  closed_.store(other.closed_.exchange(true));
  buffer_ = std::move(other.buffer_);
  pos_ = std::exchange(other.pos_, 0);
  end_ = std::exchange(other.end_, 0);
  peer_closed_ = std::exchange(other.peer_closed_, false);
  read_timeout_ms_ = other.read_timeout_ms_;
  deadline_ = std::exchange(other.deadline_, std::nullopt);
  peer_address_ = std::move(other.peer_address_);
  local_address_ = std::move(other.local_address_);
  peer_port_ = std::exchange(other.peer_port_, 0);
  local_port_ = std::exchange(other.local_port_, 0);
  other.peer_address_.clear();
  other.local_address_.clear();
}

std::size_t TcpConnection::ReadSome(void* data, std::size_t max) {
  if (max == 0) return 0;
  if (closed_.load(std::memory_order_relaxed)) throw ConnectionClosed();
  char* out = static_cast<char*>(data);
  if (pos_ == end_) {
    if (max >= kBufferSize) return Receive(out, max);
    pos_ = end_ = 0;
    end_ = Receive(buffer_.get(), kBufferSize);
  }
  const std::size_t n = std::min(max, end_ - pos_);
  std::memcpy(out, buffer_.get() + pos_, n);
  pos_ += n;
  return n;
}

void TcpConnection::ReadExact(void* data, std::size_t size) {
  char* out = static_cast<char*>(data);
  while (size > 0) {
    const std::size_t n = ReadSome(out, size);
    out += n;
    size -= n;
  }
}

void TcpConnection::Unread(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::size_t held = end_ - pos_;
  if (!buffer_ || bytes.size() + held > kBufferSize) throw Error("Unread: receive buffer overflow");
  if (bytes.size() <= pos_) {
    pos_ -= bytes.size();
  } else {
    std::memmove(buffer_.get() + bytes.size(), buffer_.get() + pos_, held);
    pos_ = 0;
    end_ = bytes.size() + held;
  }
  std::memcpy(buffer_.get() + pos_, bytes.data(), bytes.size());
}

void TcpConnection::SetDeadline(int ms) noexcept { deadline_ = DeadlineAfter(ms); }

Deadline TcpConnection::NextReadDeadline() const {
  // A peer that trickles one byte at a time must not get a fresh read limit
  // for every byte.
  if (deadline_ && Clock::now() >= *deadline_) throw ReadTimeout();
  return Earlier(DeadlineAfter(read_timeout_ms_), deadline_);
}

std::uint8_t TcpConnection::ReadByteSlow() {
  std::uint8_t byte = 0;
  ReadSome(&byte, 1);
  return byte;
}

}  // namespace pw::platform
