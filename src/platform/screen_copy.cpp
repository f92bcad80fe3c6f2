#include "platform/screen_copy.h"

#include <utility>

#include "platform/error.h"
#include "platform/screen_capture.h"

namespace pw::platform {

ScreenCopy::ScreenCopy(PixelImage own) : own_(std::move(own)), view_(RowsOf(own_)) {}

ScreenCopy::ScreenCopy(PixelRows view, const std::uint64_t* copies_made, std::vector<std::uint32_t> storage)
    : view_(view), copies_made_(copies_made), copy_number_(*copies_made) {
  own_.pixels = std::move(storage);
}

PixelImage ScreenCopy::Picture(int width, int height) && {
  if (copies_made_ == nullptr) {
    if (width == own_.width && height == own_.height) return std::move(own_);
    PixelImage picture;
    StretchPixels(view_, width, height, picture);
    // The copy's storage serves the thread's next copy.
    RecycleScreenCopy(std::move(own_));
    return picture;
  }
  if (*copies_made_ != copy_number_) throw Error("screen copy: read after the screen was copied again");
  PixelImage picture;
  picture.pixels = std::move(own_.pixels);
  StretchPixels(view_, width, height, picture);
  return picture;
}

}  // namespace pw::platform
