// A copy of the screen as a picture is made from it: pixels of its own, or
// (a TV's copies through a kept X connection) a view of the shared memory
// the server copied into, so the picture is made from the server's pixels
// without a pass that first turns all of them into ours.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/picture_stretch.h"
#include "platform/pixel_image.h"

namespace pw::platform {

class ScreenCopy {
 public:
  // A copy with pixels of its own (GDI's, a copy through the X socket, a
  // synthetic screen in tests).
  ScreenCopy(PixelImage own);  // NOLINT(google-explicit-constructor): a picture is a copy

  // A view of pixels the platform keeps for the calling thread, good while
  // *copies_made (that thread's count) still equals the number it had when
  // the view was made: the thread's next copy, or the end of what keeps
  // them, moves it on. Made into a picture on that thread only. storage is
  // for the picture.
  ScreenCopy(PixelRows view, const std::uint64_t* copies_made, std::vector<std::uint32_t> storage);

  // Moved, not copied: a copy of the pixels would keep viewing the
  // original's. The one moved from is left empty.
  ScreenCopy(ScreenCopy&& other) noexcept;
  ScreenCopy& operator=(ScreenCopy&& other) noexcept;
  ScreenCopy(const ScreenCopy&) = delete;
  ScreenCopy& operator=(const ScreenCopy&) = delete;

  int width() const { return view_.width; }
  int height() const { return view_.height; }

  // The copy at width x height (both at least 1), as StretchPixels makes
  // it; at its own size, its own pixels are the picture itself. Raises
  // pw::Error for a view that is no longer good.
  PixelImage Picture(int width, int height) &&;
  // The copy at its own size.
  PixelImage Whole() && { return std::move(*this).Picture(width(), height()); }

 private:
  PixelImage own_;
  PixelRows view_;
  const std::uint64_t* copies_made_ = nullptr;
  std::uint64_t copy_number_ = 0;
};

}  // namespace pw::platform
