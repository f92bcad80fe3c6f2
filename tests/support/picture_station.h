// A station played by hand on loopback for the office's picture commands:
// the listener's handshake (greeting "OK", the name "АЗС 7", the password
// line, the given reply), then every "GET_SCREENSHOT" and "GET_TVSHOT" the
// office sends, each answered with what the test's answer function gives.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp.h"
#include "sync/mutex.h"

namespace pw::test {

class PictureStation {
 public:
  // index: 0 for the first request. request: the command's lines as they
  // came, CR LF included. Returns the bytes to send back (the size line and
  // the picture); empty: the station closes the connection instead.
  using Answer = std::function<std::string(int index, const std::string& request)>;

  PictureStation(platform::TcpListener& listener, Answer answer, std::string password_reply = "OK");
  // Waits for the station's thread, which ends when the office closes.
  ~PictureStation();
  PictureStation(const PictureStation&) = delete;
  PictureStation& operator=(const PictureStation&) = delete;

  void Join();
  std::string password_line() const;           // as it came, CR LF included
  std::vector<std::string> requests() const;  // every request so far
  bool connected() const { return connected_; }
  bool closed_by_office() const { return closed_by_office_; }

 private:
  void Serve(platform::TcpListener& listener, const std::string& password_reply);

  Answer answer_;
  mutable Mutex mu_;
  std::string password_line_;
  std::vector<std::string> requests_;
  std::atomic<bool> connected_{false};
  std::atomic<bool> closed_by_office_{false};
  std::thread thread_;
};

}  // namespace pw::test
