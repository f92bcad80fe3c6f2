// JPEG files written in memory with libjpeg.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/pixel_image.h"

namespace pw::platform {

// The whole JFIF file of image: colour (YCbCr from 24-bit RGB), libjpeg's
// default parameters, quality as jpeg_set_quality takes it (libjpeg brings
// it into 1..100: 0 and below become 1, above 100 becomes 100), baseline
// forced, not progressive. Raises pw::Error with libjpeg's text when the
// encoder fails.
std::vector<std::uint8_t> EncodeJpeg(const PixelImage& image, int quality);

}  // namespace pw::platform
