// The primary screen, as the windows see it.
#pragma once

namespace pw::platform {

struct ScreenSize {
  int width;
  int height;
};

// The primary screen's size in pixels. Without a window system (the
// headless backend) it is a fixed 1280 x 1024.
ScreenSize PrimaryScreenSize();

}  // namespace pw::platform
