// The reduction of a picture to at most 256 colours for a GIF file: the
// exact colours when it has no more than that (a depth of 1, 4 or 8 bits,
// a plain test picture), else a median cut of its colours.
#pragma once

#include "platform/gif_encoder.h"
#include "platform/pixel_image.h"

namespace pw::interactive {

// Median cut (Heckbert): the colours, cut to 5 bits a channel, are counted;
// the box of colour space holding most pixels is split at the median of
// its longest side until there are 256 boxes; each box's colour is the mean
// of the pixels in it. No dithering. image is not empty.
platform::IndexedImage QuantizeColors(const platform::PixelImage& image);

}  // namespace pw::interactive
