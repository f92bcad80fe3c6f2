#include "app/shown_windows.h"

#include <algorithm>

namespace pw::app {

namespace {

// Set whenever the main thread shows a window; one waiter takes it.
HANDLE shown_event = nullptr;

}  // namespace

ShownWindows::ShownWindows() {
  shown_event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  hook_ = ::SetWindowsHookExW(WH_CALLWNDPROCRET, AfterWindowProcedure, nullptr, ::GetCurrentThreadId());
}

ShownWindows::~ShownWindows() {
  if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
  ::CloseHandle(shown_event);
  shown_event = nullptr;
}

LRESULT CALLBACK ShownWindows::AfterWindowProcedure(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (call->message == WM_WINDOWPOSCHANGED &&
        (reinterpret_cast<const WINDOWPOS*>(call->lParam)->flags & SWP_SHOWWINDOW) != 0)
      ::SetEvent(shown_event);
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

HWND ShownWindows::WaitFor(const std::function<HWND()>& found, std::chrono::milliseconds bound) const {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(bound.count());
  for (;;) {
    if (HWND window = found()) return window;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return nullptr;
    ::WaitForSingleObject(shown_event, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 250)));
  }
}

}  // namespace pw::app
