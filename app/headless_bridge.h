// Until the plug-in's windows are real Win32 windows, its window system is
// the headless one of pumpwire-ui.dll, whose main-thread work (what the
// plug-in's threads hand over, its timers) nobody carries in a plain
// message loop, and whose message boxes nobody sees. Where that is the
// window system the plug-in brought (pumpwire-ui.dll loaded, and no hidden
// "PumpwireDispatcher" window of a window system carried by the
// application's own message loop), the application serves that work from a
// timer of its main window and prints each message box with the answer it
// took. Otherwise it does nothing at all.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/console_io.h"

namespace pw::app {

class HeadlessBridge {
 public:
  // After Load, on the main thread; nullptr where none is needed.
  static std::unique_ptr<HeadlessBridge> IfNeeded(HWND main_window, Output& out,
                                                  std::function<void()> before_box_line);
  ~HeadlessBridge();
  HeadlessBridge(const HeadlessBridge&) = delete;
  HeadlessBridge& operator=(const HeadlessBridge&) = delete;

  static constexpr UINT_PTR kTimer = 2;
  // WM_TIMER kTimer: the work queued and due now.
  void Serve();

 private:
  using RunFor = void (*)(int32_t ms);
  using BoxObserver = void (*)(void* context, const char* caption, const char* text, int32_t answer);
  using SetBoxObserver = void (*)(BoxObserver observer, void* context);

  HeadlessBridge(HWND main_window, Output& out, std::function<void()> before_box_line, RunFor run_for,
                 SetBoxObserver set_box_observer);
  static void OnBox(void* context, const char* caption, const char* text, int32_t answer);

  HWND window_;
  DWORD main_thread_;
  Output& out_;
  std::function<void()> before_box_line_;
  RunFor run_for_;
  SetBoxObserver set_box_observer_;
};

}  // namespace pw::app
