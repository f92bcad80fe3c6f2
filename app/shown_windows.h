// Tells a waiting thread when a window of the main thread is shown (a
// plug-in window, a message box), so a driver waits for a window without
// looking again and again: a hook on the main thread sees every window
// that becomes visible and wakes the waiter.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace pw::app {

class ShownWindows {
 public:
  // On the main thread.
  ShownWindows();
  ~ShownWindows();
  ShownWindows(const ShownWindows&) = delete;
  ShownWindows& operator=(const ShownWindows&) = delete;

  // Any thread but the main one: waits until found() answers a window,
  // asking again whenever the main thread shows one (and at least every
  // quarter of a second, for windows of other threads); nullptr when bound
  // passed first.
  HWND WaitFor(const std::function<HWND()>& found, std::chrono::milliseconds bound) const;

 private:
  static LRESULT CALLBACK AfterWindowProcedure(int code, WPARAM wparam, LPARAM lparam);

  HHOOK hook_ = nullptr;
};

}  // namespace pw::app
