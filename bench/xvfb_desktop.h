// The bench's own client of its Xvfb: it puts a picture on the root window
// (so the station's copies and encodes meet what a desktop holds, not an
// empty screen) and copies the root with XShmGetImage alone into a shared
// segment made once: the floor a screen copy is measured against.
#pragma once

#include <memory>
#include <string>

#include "platform/pixel_image.h"

namespace pw::bench {

class XvfbDesktop {
 public:
  // Connects to the display; raises std::runtime_error when it cannot, or
  // when the server offers no shared memory.
  explicit XvfbDesktop(const std::string& display);
  ~XvfbDesktop();
  XvfbDesktop(const XvfbDesktop&) = delete;
  XvfbDesktop& operator=(const XvfbDesktop&) = delete;

  // Makes picture (the root's size) the root window's background.
  void Show(const platform::PixelImage& picture);
  // One XShmGetImage of the whole root into the segment.
  void CopyRoot();

 private:
  struct X;
  std::unique_ptr<X> x_;
};

}  // namespace pw::bench
