// A copy of the whole primary screen: what the screenshot and the TV frames
// are made from. The POSIX backend reads the root window of the X display
// named by DISPLAY (through shared memory where the server offers it); the
// Windows backend copies the desktop's device context.
#pragma once

#include <functional>

#include "platform/pixel_image.h"
#include "platform/screen_copy.h"

namespace pw::platform {

// Where screen copies come from: the machine's own screen, or a synthetic
// one in tests. Called on listener connection threads, several at a time.
using ScreenSource = std::function<ScreenCopy()>;

// The whole primary screen at its own size, each pixel as the display shows
// it (a 16-bit display gives its 5-6-5 colours widened to 8 bits a channel).
// Raises pw::Error when there is no screen to copy (no DISPLAY, no
// connection to it, a display that is not true colour, or a failed copy).
// Any thread; each call opens the display anew and keeps nothing, unless a
// KeepScreenCopies lives on the calling thread; then the copy may be a view
// of what it keeps, to be made into a picture before the thread's next copy.
ScreenCopy CapturePrimaryScreen();

// Gives the storage of a copy the caller is done with to the next copy on
// this thread, while a KeepScreenCopies lives on it (a screen's copy is
// megabytes, and memory fresh from the system costs a page fault per 4 KiB
// at its first touch); otherwise it is freed.
void RecycleScreenCopy(PixelImage&& copy);

// While one lives on a thread, that thread's screen copies keep what they
// open (the X backend: the display connection and the shared memory the
// server copies into) for the next copy, and release it with this object.
// A TV stream copies the screen many times a second, and opening both anew
// costs several times the copy itself; so does fresh memory for the pixels
// (RecycleScreenCopy). A kept connection whose server went
// away or whose DISPLAY changed is dropped and the copy made on a new one.
// Nested ones on a thread share the outermost's. The Windows backend keeps
// nothing.
class KeepScreenCopies {
 public:
  KeepScreenCopies();
  ~KeepScreenCopies();
  KeepScreenCopies(const KeepScreenCopies&) = delete;
  KeepScreenCopies& operator=(const KeepScreenCopies&) = delete;

 private:
  bool outer_;
};

}  // namespace pw::platform
