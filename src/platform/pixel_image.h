// A picture as plain pixels: what a screen copy gives, what the encoders take
// and what the decoders give back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pw::platform {

struct PixelImage {
  int width = 0;
  int height = 0;
  // width * height pixels, row after row from the top-left, each 0x00RRGGBB.
  std::vector<std::uint32_t> pixels;

  std::uint32_t& at(int x, int y) { return pixels[Index(x, y)]; }
  std::uint32_t at(int x, int y) const { return pixels[Index(x, y)]; }

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }
};

}  // namespace pw::platform
