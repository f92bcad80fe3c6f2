#include "interactive/picture_limits.h"

#include <string>

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::interactive {

void CheckPictureSize(std::int64_t width, std::int64_t height) {
  if (width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
      width * height <= kMaxPicturePixels)
    return;
  throw Error(std::string("Недопустимый размер изображения: "_w) + std::to_string(width) + " x " +
              std::to_string(height));
}

}  // namespace pw::interactive
