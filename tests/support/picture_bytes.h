// Pictures made in the test with giflib and libjpeg directly, as a station
// would send them, and a picture to make them of.
#pragma once

#include <cstdint>
#include <string>

#include "platform/pixel_image.h"

namespace pw::test {

// w x h in four quadrants: red, green, blue and white (top-left first).
platform::PixelImage Quadrants(int w, int h);

struct GifOptions {
  bool interlaced = false;
  bool local_map = false;  // the colours in the image's own map, none global
};
// The picture's colours (at most 256 distinct) as a GIF file's bytes.
std::string GifBytes(const platform::PixelImage& picture, GifOptions options = {});

// A baseline colour JPEG file's bytes.
std::string JpegBytes(const platform::PixelImage& picture, int quality = 95);

// Whether two colours differ by at most tolerance in each component.
bool CloseColour(std::uint32_t a, std::uint32_t b, int tolerance);

}  // namespace pw::test
