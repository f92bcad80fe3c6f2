// Where the host's own message loop carries the main thread (the plug-in
// inside the real application), nobody calls the dispatcher's run loop: a
// message pump, installed into the dispatcher, tells that loop when there is
// work and lets the main thread's nested waits go on painting windows. The
// dispatcher keeps its own queues (a window message sent to a window
// overtakes every posted one, so the OS queue cannot hold them in order);
// the pump only carries the wake-up.
//
// With no pump installed the dispatcher waits on its own condition variable
// and whoever owns the main thread runs its loop (pumpwire-host, tests).
#pragma once

#include <chrono>

namespace pw::ui {

class MessagePump {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~MessagePump() = default;

  // Any thread: work was queued; the main thread's loop is to call
  // Dispatcher::run_posted_work soon. Cheap, and coalesced by the pump.
  virtual void ScheduleWork() = 0;
  // Main thread: the next timer is due at due (time_point::max(): none);
  // the loop is to call Dispatcher::run_posted_work then.
  virtual void ScheduleTimer(Clock::time_point due) = 0;
  // Main thread, inside a nested wait: returns once ScheduleWork has been
  // called since the last return, or at deadline, whichever comes first, or
  // early after painting windows (the caller looks again and waits again).
  // Never starts the host's own work.
  virtual void WaitForWork(Clock::time_point deadline) = 0;
};

}  // namespace pw::ui
