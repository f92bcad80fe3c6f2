// The operator's request that a program stop: Ctrl-C or SIGTERM (on Windows
// Ctrl-C, Ctrl-Break or the console being closed). While a StopRequests
// lives, the first such request no longer ends the program at once: on_stop
// is called on a thread of its own, and the program ends itself in good
// order. A second request ends it at once, as the OS would have, for a
// program whose orderly end hangs. A program started with the signals
// blocked (some supervisors and CI runners hand their mask down) has them
// unblocked on the thread that makes the StopRequests.
#pragma once

#include <functional>
#include <memory>

namespace pw::platform {

class StopRequests {
 public:
  // One at a time in a process. Raises pw::Error when the OS refuses.
  explicit StopRequests(std::function<void()> on_stop);
  // The OS's own handling comes back; the watching thread is joined.
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

 private:
  struct Watch;  // as the backend keeps it
  std::unique_ptr<Watch> watch_;
};

// While one lives, the calling thread holds stop requests back, as a
// supervisor that starts a program with them blocked does; a child process
// started meanwhile inherits that. Nothing on an OS without such a mask.
class StopRequestsHeldBack {
 public:
  StopRequestsHeldBack();
  ~StopRequestsHeldBack();
  StopRequestsHeldBack(const StopRequestsHeldBack&) = delete;
  StopRequestsHeldBack& operator=(const StopRequestsHeldBack&) = delete;
};

}  // namespace pw::platform
