// How the command reader's thread reaches the main thread: work and markers
// posted to the main window. Posted messages keep their order, so when a
// marker posted after an action comes through, the action has been taken
// and the main thread is back in a message loop: its own, or a modal one the
// action opened (a dialog's or a message box's loop dispatches it too). A
// sent message would not do: the receiving thread takes sent messages
// before posted ones, so it could answer before the action ran.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>

#include "sync/mutex.h"

namespace pw::app {

class MainThreadLink {
 public:
  explicit MainThreadLink(HWND main_window) : window_(main_window) {}

  // Runs task on the main thread, later. Any thread; false when the main
  // window is gone.
  bool Post(std::function<void()> task);
  // Waits until everything posted to the main window before this call has
  // been taken and the main thread is in a message loop again; false when
  // bound passed first or the window is gone.
  bool Sync(std::chrono::milliseconds bound);

  // The main window's procedure: true when message was one of the link's.
  bool Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // The main window is going: no wait lasts past it.
  void Close();

 private:
  static constexpr UINT kRunTask = WM_APP + 1;
  static constexpr UINT kMarker = WM_APP + 2;

  HWND window_;
  Mutex mu_;
  std::condition_variable_any reached_cv_;
  std::uint64_t posted_ GUARDED_BY(mu_) = 0;
  std::uint64_t reached_ GUARDED_BY(mu_) = 0;
  bool closed_ GUARDED_BY(mu_) = false;
};

}  // namespace pw::app
