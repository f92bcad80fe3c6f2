// The pictures the station sends, read back with giflib and libjpeg
// directly, as any standard decoder at the office would read them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/pixel_image.h"

namespace pw::test {

// Raises std::runtime_error when the bytes are not a whole GIF file.
platform::PixelImage DecodeGif(const std::vector<std::uint8_t>& file);
// The number of colours in the GIF's colour table.
int GifColorTableSize(const std::vector<std::uint8_t>& file);

struct DecodedJpeg {
  platform::PixelImage image;
  int components = 0;
  bool progressive = false;
};
// Raises std::runtime_error when the bytes are not a JPEG file.
DecodedJpeg DecodeJpeg(const std::vector<std::uint8_t>& file);

// A w x h picture in four quarters: red top-left, green top-right, blue
// bottom-left, white bottom-right.
platform::PixelImage Quarters(int w, int h);
inline constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF,
                               kWhite = 0xFFFFFF;

// The colours at the centres of the four quarters: top-left, top-right,
// bottom-left, bottom-right.
std::vector<std::uint32_t> QuarterCentres(const platform::PixelImage& image);

// Whether two colours differ by at most tolerance in every channel.
bool Near(std::uint32_t a, std::uint32_t b, int tolerance);

}  // namespace pw::test
