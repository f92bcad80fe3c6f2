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

// A port nobody listens on right now, for a server started next. It lies
// below the ports the system hands to outgoing connections (from 32768 on
// Linux, 49152 on Windows): one of those may be taken by a client's
// connection, or held by its TIME_WAIT, before the server binds it, which
// then fails with "Address already in use".
inline int FreePort() {
  static std::atomic<std::uint32_t> next{
      static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  for (int tries = 1;; ++tries) {
    const int port = 20000 + static_cast<int>(next.fetch_add(7919) % 12000);
    try {
      platform::TcpListener probe("0.0.0.0", port);
      return port;
    } catch (const std::exception&) {
      if (tries == 100) throw;
    }
  }
}

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
