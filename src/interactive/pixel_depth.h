// The colour depth a picture is set to before encoding, by the code the
// office sends: the colours a bitmap of that many bits per pixel can hold.
//
//   1   two colours (black, white)
//   4   the 16 colours of the standard VGA palette
//   8   a 256-colour palette (the 6 x 6 x 6 colour cube)
//   15  5 bits per channel
//   16  5-6-5 bits per channel
//   24, 32 and any other code: unchanged (the display's own colours)
//   0   no valid format: raises pw::Error "Invalid pixel format"
#pragma once

#include <cstdint>

#include "platform/pixel_image.h"

namespace pw::interactive {

// Brings every pixel of image to the nearest colour depth can hold, kept
// as 0x00RRGGBB.
void ReduceToDepth(platform::PixelImage& image, std::uint32_t depth);

}  // namespace pw::interactive
