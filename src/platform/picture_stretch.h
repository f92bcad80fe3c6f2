// A picture drawn into another size, filling it (no proportions kept), as
// the screen copy is stretched to the size the office asks for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/pixel_image.h"

namespace pw::platform {

// Pixels where they lie: height rows of width pixels, each row stride
// pixels after the one before, each pixel 0x??RRGGBB. The top byte is not
// part of the colour: a server's copy of its screen may fill it.
struct PixelRows {
  int width = 0;
  int height = 0;
  const std::uint32_t* first = nullptr;
  std::size_t stride = 0;
};

PixelRows RowsOf(const PixelImage& image);

// Each target pixel takes the source pixel under its centre (the plain
// colour-on-colour stretch: no blending, so a picture of few colours keeps
// exactly its colours), as 0x00RRGGBB. width and height are at least 1; the
// source is not empty. At the source's own size it is a copy. Into out,
// whose storage serves when it is large enough.
void StretchPixels(const PixelRows& source, int width, int height, PixelImage& out);

// The same for a picture of ours (already 0x00RRGGBB): at its own size, a
// copy of it.
PixelImage StretchPicture(const PixelImage& source, int width, int height);

}  // namespace pw::platform
