#include "platform/stop_requests.h"

#include <winsock2.h>
#include <windows.h>

#include <utility>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_error.h"
#include "sync/mutex.h"

namespace pw::platform {

namespace {

// What the console's handler thread reaches; never freed, so a handler that
// runs while the watch ends finds it whole.
struct ConsoleWatch {
  Mutex mu;
  std::function<void()> on_stop GUARDED_BY(mu);  // empty when no StopRequests lives
  HANDLE ended GUARDED_BY(mu) = nullptr;         // set once the program has ended itself
  LONG requests GUARDED_BY(mu) = 0;
};

ConsoleWatch& Watched() {
  static ConsoleWatch* watch = new ConsoleWatch;
  return *watch;
}

// The console's close, a logoff or a shutdown end the process as soon as
// the handler returns: for those it waits (the system allows a few seconds)
// until the program has ended itself in good order.
bool EndsTheProcessOnReturn(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ConsoleWatch& w = Watched();
  HANDLE ended = nullptr;
  {
    MutexLock lock(w.mu);
    // The second request is left to the system's own handler, which ends
    // the program.
    if (!w.on_stop || ++w.requests > 1) return FALSE;
    w.on_stop();
    ended = w.ended;
  }
  if (EndsTheProcessOnReturn(event) && ended != nullptr) ::WaitForSingleObject(ended, 4500);
  return TRUE;
}

}  // namespace

struct StopRequests::Watch {
  ScopedHandle ended;
};

StopRequests::StopRequests(std::function<void()> on_stop) : watch_(std::make_unique<Watch>()) {
  watch_->ended = ScopedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!watch_->ended.valid()) ThrowLastError("CreateEvent", "stop requests");
  ConsoleWatch& w = Watched();
  {
    MutexLock lock(w.mu);
    w.on_stop = std::move(on_stop);
    w.ended = watch_->ended.get();
    w.requests = 0;
  }
  if (!::SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    MutexLock lock(w.mu);
    w.on_stop = nullptr;
    w.ended = nullptr;
    ThrowLastError("SetConsoleCtrlHandler", "stop requests");
  }
}

StopRequests::~StopRequests() {
  ConsoleWatch& w = Watched();
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  {
    MutexLock lock(w.mu);
    w.on_stop = nullptr;
    w.ended = nullptr;
  }
  // A handler still waiting goes on: the program has ended itself.
  ::SetEvent(watch_->ended.get());
}

// Windows has no signal mask to hand down.
StopRequestsHeldBack::StopRequestsHeldBack() = default;
StopRequestsHeldBack::~StopRequestsHeldBack() = default;

}  // namespace pw::platform
