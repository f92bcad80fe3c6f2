// GIF files written in memory with giflib: one image of at most 256 colours.
#pragma once

#include <cstdint>
#include <vector>

namespace pw::platform {

// A picture of palette indices, row after row from the top-left.
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> palette;  // 1..256 colours, each 0x00RRGGBB
  std::vector<std::uint8_t> indices;   // width * height, each < palette.size()
};

// The whole GIF file (GIF87a, one image, no interlace). Raises pw::Error
// with giflib's text when the encoder fails, or for a picture that does not
// hold its own promises (sizes, palette, indices).
std::vector<std::uint8_t> EncodeGif(const IndexedImage& image);

}  // namespace pw::platform
