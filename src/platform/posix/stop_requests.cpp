#include "platform/stop_requests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "platform/error.h"
#include "platform/posix/posix_error.h"
#include "platform/posix/scoped_fd.h"

namespace pw::platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};
constexpr char kStopByte = 's';
constexpr char kEndByte = 'e';

// The pipe's write end, for the signal handler (which may only write).
volatile sig_atomic_t signal_pipe = -1;

// Only async-signal-safe calls: one byte into the pipe, and the default
// action back for the next request, whichever of the signals it is.
void OnSignal(int) {
  const int saved = errno;
  const char byte = kStopByte;
  if (signal_pipe >= 0) {
    const ssize_t n = ::write(signal_pipe, &byte, 1);
    (void)n;  // a full pipe already holds a request
  }
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (const int sig : kSignals) ::sigaction(sig, &dfl, nullptr);
  errno = saved;
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : kSignals) sigaddset(&set, sig);
  return set;
}

}  // namespace

struct StopRequests::Watch {
  ScopedFd read_end;
  ScopedFd write_end;
  std::thread thread;
};

StopRequests::StopRequests(std::function<void()> on_stop) : watch_(std::make_unique<Watch>()) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) ThrowPosixError("pipe2", "stop requests", errno);
  watch_->read_end.reset(fds[0]);
  watch_->write_end.reset(fds[1]);
  signal_pipe = fds[1];
  // Restarted calls: a request must not fail a read that is under way.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int sig : kSignals) ::sigaction(sig, &action, nullptr);
  // A mask handed down from the parent would keep every request pending.
  const sigset_t stop = StopSignals();
  ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
  watch_->thread = std::thread([fd = fds[0], on_stop = std::move(on_stop)] {
    for (;;) {
      char byte = 0;
      const ssize_t n = ::read(fd, &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == kEndByte) return;
      on_stop();
    }
  });
}

StopRequests::~StopRequests() {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (const int sig : kSignals) ::sigaction(sig, &dfl, nullptr);
  signal_pipe = -1;
  const char byte = kEndByte;
  while (::write(watch_->write_end.get(), &byte, 1) < 0 && errno == EINTR) {
  }
  watch_->thread.join();
}

StopRequestsHeldBack::StopRequestsHeldBack() {
  const sigset_t stop = StopSignals();
  ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
}

StopRequestsHeldBack::~StopRequestsHeldBack() {
  const sigset_t stop = StopSignals();
  ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
}

}  // namespace pw::platform
