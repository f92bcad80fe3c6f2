// TcpConnection's receive buffer: the reads served from it and Unread. The
// backend's Receive fills it (or the caller's memory for a bulk read).
#include <algorithm>
#include <cstring>

#include "platform/tcp.h"

namespace pw::platform {

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

std::uint8_t TcpConnection::ReadByteSlow() {
  std::uint8_t byte = 0;
  ReadSome(&byte, 1);
  return byte;
}

}  // namespace pw::platform
