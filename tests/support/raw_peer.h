// A peer that speaks the wire by hand, for tests that script the other end
// of a session over loopback.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <thread>
#include <string>
#include <vector>

#include "platform/tcp.h"

namespace pw::test {

inline constexpr char kLoopback[] = "127.0.0.1";
// Upper bound for things that should happen at once.
inline constexpr int kWaitMs = 10000;

// A loopback port nobody listens on right now.
inline int FreePort() { return platform::TcpListener(kLoopback, 0).Port(); }

// One line without its CR LF.
inline std::string RawLine(platform::TcpConnection& c) {
  std::string line;
  for (char ch; (ch = static_cast<char>(c.ReadByte())) != '\n';) line += ch;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

inline void RawWrite(platform::TcpConnection& c, const std::string& text) { c.Write(text + "\r\n"); }

// Reads a line; true when the peer closed instead (the line, if one came,
// goes to line).
inline bool SeesClose(platform::TcpConnection& c, std::string* line = nullptr) {
  try {
    const std::string l = RawLine(c);
    if (line) *line = l;
    return false;
  } catch (const platform::ConnectionClosed&) {
    return true;
  }
}

// What the peer sends within a moment after a command that has no reply
// (nothing, when it keeps to the protocol); "<closed>" marks its close.
inline std::string Answered(platform::TcpConnection& c) {
  std::string got;
  while (c.WaitReadable(200)) {
    try {
      got += static_cast<char>(c.ReadByte());
    } catch (const std::exception&) {
      got += "<closed>";
      break;
    }
  }
  return got;
}

// A hostile peer that writes one byte every 20 ms on c until destroyed or
// the connection fails: each read's limit alone would never cut it.
class TricklingPeer {
 public:
  explicit TricklingPeer(platform::TcpConnection& c)
      : thread_([this, &c] {
          try {
            while (!stop_.load()) {
              c.Write("A");
              std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the peer's own pace
            }
          } catch (const std::exception&) {
          }
        }) {}
  ~TricklingPeer() {
    stop_.store(true);
    thread_.join();
  }
  TricklingPeer(const TricklingPeer&) = delete;
  TricklingPeer& operator=(const TricklingPeer&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// One picture reply: its size line, then that many bytes.
inline std::vector<std::uint8_t> ReadPicture(platform::TcpConnection& c) {
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(std::stoul(RawLine(c))));
  c.ReadExact(picture.data(), picture.size());
  return picture;
}

}  // namespace pw::test
