// A connection to the X display named by DISPLAY, opened for one task on
// one thread and closed with it. Xlib's default reaction to a protocol
// error is to end the process; here an error is recorded for the thread
// that caused it instead, so a failed request becomes a pw::Error; and a
// connection that breaks (the server gone) fails its requests instead of
// ending the process.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace pw::platform::x11 {

class Display {
 public:
  // Raises pw::Error when DISPLAY is unset or the server cannot be reached.
  Display();
  ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  ::Display* get() const { return display_; }
  int screen() const { return DefaultScreen(display_); }
  Window root() const { return RootWindow(display_, screen()); }
  int width() const { return DisplayWidth(display_, screen()); }
  int height() const { return DisplayHeight(display_, screen()); }

  // Waits until the server has handled every request sent so far and
  // returns the first protocol error code they caused on this thread since
  // the last call (Success when none).
  int SyncAndTakeError();
  // The same without the wait: for a request that waited for its reply.
  int TakeError();
  // The connection broke (the server went away): every request since has
  // failed, and the process goes on.
  bool broken() const { return broken_; }

 private:
  static ::Display* Open();
  ::Display* display_;
  bool broken_ = false;
};

}  // namespace pw::platform::x11
