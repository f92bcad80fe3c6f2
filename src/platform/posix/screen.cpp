#include "platform/screen.h"

#include "platform/posix/x11_display.h"

namespace pw::platform {

ScreenSize PrimaryScreenSize() {
  // The X display when there is one; without it, the size the headless
  // window system assumes.
  try {
    const x11::Display display;
    return {display.width(), display.height()};
  } catch (...) {
    return {1280, 1024};
  }
}

}  // namespace pw::platform
