// What "Отправить в офис" does while the report exchange is not part of the
// plug-in yet: on a thread of its own, it opens the session to each office
// of the address box and closes it again, so the operator sees whether the
// office accepts this station. It says so in the log.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace pw::station {

class TInetForm;

class OfficeLinkCheck {
 public:
  explicit OfficeLinkCheck(TInetForm& window) : window_(window) {}
  // Waits for a running check, serving the main thread meanwhile.
  ~OfficeLinkCheck();
  OfficeLinkCheck(const OfficeLinkCheck&) = delete;
  OfficeLinkCheck& operator=(const OfficeLinkCheck&) = delete;

  // Main thread: starts a check of the offices in the address box, after the
  // previous one has ended.
  void Start();

 private:
  void Wait();
  void Run(const std::string& recipients);

  TInetForm& window_;
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace pw::station
