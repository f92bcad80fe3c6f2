// The main thread carried by the application's own message loop: a hidden
// message-only window ("PumpwireDispatcher") receives a registered wake-up
// message whenever work is queued, and a window timer when the next of the
// dispatcher's timers is due; its window procedure runs the dispatcher's
// work. The dispatcher keeps the work itself in order; the OS queue holds at
// most one wake-up at a time.
//
// Nested waits of the main thread (a wait for workers, a listener's stop,
// UnLoad) wait on an event with MsgWaitForMultipleObjectsEx and meanwhile
// dispatch paint messages and messages sent from other threads only: windows
// keep painting, while the application's input and posted messages (its next
// command, its timers) wait for its own loop.
//
// Made, used and destroyed on the main thread, except ScheduleWork.
#pragma once

#include <windows.h>

#include <atomic>

#include "ui/message_pump.h"

namespace pw::renderer {

class Win32MessagePump final : public ui::MessagePump {
 public:
  Win32MessagePump();
  ~Win32MessagePump() override;
  Win32MessagePump(const Win32MessagePump&) = delete;
  Win32MessagePump& operator=(const Win32MessagePump&) = delete;

  void ScheduleWork() override;
  void ScheduleTimer(Clock::time_point due) override;
  void WaitForWork(Clock::time_point deadline) override;

  HWND window() const { return window_; }
  // A message-only window of ours whose posted messages nested waits
  // deliver too (the renderer's, which brings the windows in step with the
  // models the served work changed).
  void AlsoServe(HWND window) { also_served_ = window; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

  UINT wake_message_ = 0;
  HANDLE work_event_ = nullptr;  // auto-reset: set by each ScheduleWork
  HWND window_ = nullptr;
  HWND also_served_ = nullptr;
  // A wake-up message is in the queue: no second one is posted.
  std::atomic<bool> wake_posted_{false};
};

}  // namespace pw::renderer
