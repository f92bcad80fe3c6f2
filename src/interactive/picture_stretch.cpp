#include "interactive/picture_stretch.h"

#include <cstdint>
#include <vector>

namespace pw::interactive {

namespace {

// For each of `to` positions, the source position under its centre.
std::vector<int> SourcePositions(int from, int to) {
  std::vector<int> at(static_cast<std::size_t>(to));
  for (int i = 0; i < to; ++i)
    at[static_cast<std::size_t>(i)] =
        static_cast<int>((std::int64_t{2} * i + 1) * from / (std::int64_t{2} * to));
  return at;
}

}  // namespace

platform::PixelImage StretchPicture(const platform::PixelImage& source, int width, int height) {
  if (source.width == width && source.height == height) return source;
  platform::PixelImage out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  const std::vector<int> xs = SourcePositions(source.width, width);
  const std::vector<int> ys = SourcePositions(source.height, height);
  std::uint32_t* to = out.pixels.data();
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* row =
        source.pixels.data() + static_cast<std::size_t>(ys[static_cast<std::size_t>(y)]) *
                                   static_cast<std::size_t>(source.width);
    for (int x : xs) *to++ = row[x];
  }
  return out;
}

}  // namespace pw::interactive
