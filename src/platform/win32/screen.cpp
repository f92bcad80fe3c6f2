#include "platform/screen.h"

#include <winsock2.h>
#include <windows.h>

namespace pw::platform {

ScreenSize PrimaryScreenSize() {
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  // No desktop (a service, a headless session): the size the headless
  // window system assumes.
  if (width <= 0 || height <= 0) return {1280, 1024};
  return {width, height};
}

}  // namespace pw::platform
