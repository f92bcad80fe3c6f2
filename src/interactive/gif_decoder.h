// GIF pictures as the station sends them (the screenshot, TV frames made as
// GIF) turned into pixels: the first image of the file, drawn on the logical
// screen with its own colour map or else the global one.
#pragma once

#include <string_view>

#include "platform/pixel_image.h"

namespace pw::interactive {

// Raises pw::Error with a text that says what is wrong when bytes are not a
// GIF picture, are cut short, hold no image or no colour map, or describe a
// picture beyond the caps of picture_limits.h (checked before anything is
// allocated for it). Pixels outside the image take the background colour.
platform::PixelImage DecodeGif(std::string_view bytes);

}  // namespace pw::interactive
