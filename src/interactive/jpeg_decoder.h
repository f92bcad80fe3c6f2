// JPEG pictures (TV frames) turned into pixels through libjpeg, from memory.
#pragma once

#include <string_view>

#include "platform/pixel_image.h"

namespace pw::interactive {

// Raises pw::Error with libjpeg's own text when bytes are not a JPEG picture
// libjpeg can turn into RGB, when the data is corrupt or cut short (a
// warning counts as an error: such a picture would be drawn half grey), or
// when the picture is beyond the caps of picture_limits.h (checked from the
// header, before anything is allocated for it).
platform::PixelImage DecodeJpeg(std::string_view bytes);

}  // namespace pw::interactive
