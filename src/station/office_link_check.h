// What "Отправить в офис" does while the report exchange is not part of the
// plug-in yet: on a worker thread, it opens the session to each office of
// the address box and closes it again, so the operator sees whether the
// office accepts this station. It says so in the log.
#pragma once

#include <mutex>
#include <string>

#include "services/worker_threads.h"

namespace pw::station {

class TInetForm;

class OfficeLinkCheck {
 public:
  OfficeLinkCheck(TInetForm& window, WorkerThreads& workers) : window_(window), workers_(workers) {}
  // With checks still running: stops the plug-in's workers (the window goes
  // only when the plug-in does) and waits for its checks to end, serving
  // the workers' handed-over work meanwhile.
  ~OfficeLinkCheck();
  OfficeLinkCheck(const OfficeLinkCheck&) = delete;
  OfficeLinkCheck& operator=(const OfficeLinkCheck&) = delete;

  // Main thread: starts a check of the offices in the address box and
  // returns at once. A check still running goes on; the new one follows it
  // (both take the station's exchange lock). A stop closes the session of
  // the running one and ends the rest without a connection.
  void Start();

 private:
  void Run(Worker& worker, const std::string& recipients);
  bool Idle();

  TInetForm& window_;
  WorkerThreads& workers_;
  std::mutex mu_;
  int running_ = 0;  // guarded by mu_: checks started and not ended
};

}  // namespace pw::station
