// A picture drawn into another size, filling it (no proportions kept), as
// the screen copy is stretched to the size the office asks for.
#pragma once

#include "platform/pixel_image.h"

namespace pw::interactive {

// Each target pixel takes the source pixel under its centre (the plain
// colour-on-colour stretch: no blending, so a picture of few colours keeps
// exactly its colours). width and height are at least 1; the source is not
// empty.
platform::PixelImage StretchPicture(const platform::PixelImage& source, int width, int height);

}  // namespace pw::interactive
