#include "platform/posix/x11_display.h"

#include <cstdlib>
#include <mutex>

#include "platform/error.h"

namespace pw::platform::x11 {

namespace {

// Each thread speaks over its own connection, so the errors of one thread's
// requests are handled on that thread.
thread_local int first_error = Success;

int RecordError(::Display*, XErrorEvent* event) {
  if (first_error == Success) first_error = event->error_code;
  return 0;
}

// Xlib's reaction to a broken connection (the server gone) is to print and
// end the process: its I/O error handler, then the display's exit handler.
// Both return here instead; Xlib then fails every later call on that
// display at once, and the caller tells the error.
int NoteBrokenConnection(::Display*) { return 0; }
void KeepTheProcess(::Display*, void* broken) { *static_cast<bool*>(broken) = true; }

void PrepareXlib() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    XSetErrorHandler(RecordError);
    XSetIOErrorHandler(NoteBrokenConnection);
  });
}

}  // namespace

::Display* Display::Open() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  PrepareXlib();
  return XOpenDisplay(name);
}

Display::Display() : display_(Open()) {
  if (display_ == nullptr) {
    const char* name = std::getenv("DISPLAY");
    throw Error(name == nullptr || *name == '\0'
                    ? std::string("no screen: DISPLAY is not set")
                    : std::string("no screen: cannot open display ") + name);
  }
  first_error = Success;
  XSetIOErrorExitHandler(display_, KeepTheProcess, &broken_);
}

Display::~Display() { XCloseDisplay(display_); }

int Display::SyncAndTakeError() {
  XSync(display_, False);
  return TakeError();
}

int Display::TakeError() {
  const int error = first_error;
  first_error = Success;
  return error;
}

}  // namespace pw::platform::x11
