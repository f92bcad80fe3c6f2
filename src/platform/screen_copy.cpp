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

ScreenCopy::ScreenCopy(ScreenCopy&& other) noexcept
    : own_(std::exchange(other.own_, {})),
      view_(std::exchange(other.view_, {})),
      copies_made_(std::exchange(other.copies_made_, nullptr)),
      copy_number_(other.copy_number_) {}

ScreenCopy& ScreenCopy::operator=(ScreenCopy&& other) noexcept {
  own_ = std::exchange(other.own_, {});
  view_ = std::exchange(other.view_, {});
  copies_made_ = std::exchange(other.copies_made_, nullptr);
  copy_number_ = other.copy_number_;
  return *this;
}

PixelImage ScreenCopy::Picture(int width, int height) && {
  // (also one moved from)
  if (view_.width <= 0 || view_.height <= 0) throw Error("screen copy: the screen is empty");
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
