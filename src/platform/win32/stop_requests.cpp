#include "platform/stop_requests.h"

#include <windows.h>

#include <utility>

#include "platform/win32/win32_error.h"

namespace pw::platform {

namespace {

// The handler of the one live StopRequests; the console calls it on a
// thread of its own.
std::function<void()>* stop_handler = nullptr;
volatile LONG requests = 0;

BOOL WINAPI OnConsoleEvent(DWORD) {
  // The second request is left to the system's own handler, which ends
  // the program.
  if (::InterlockedIncrement(&requests) > 1 || stop_handler == nullptr) return FALSE;
  (*stop_handler)();
  return TRUE;
}

}  // namespace

struct StopRequests::Watch {
  std::function<void()> on_stop;
};

StopRequests::StopRequests(std::function<void()> on_stop)
    : watch_(std::make_unique<Watch>(Watch{std::move(on_stop)})) {
  requests = 0;
  stop_handler = &watch_->on_stop;
  if (!::SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    stop_handler = nullptr;
    ThrowLastError("SetConsoleCtrlHandler", "stop requests");
  }
}

StopRequests::~StopRequests() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  stop_handler = nullptr;
}

}  // namespace pw::platform
