// Pictures of the station's screen for the office: the screenshot and the
// TV frames. Each call copies the whole screen anew, stretches the copy to
// the size asked for (0 = the screen's own width or height; no proportions
// kept), sets its colour depth (interactive/pixel_depth.h) and encodes it.
// Nothing is kept between calls; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "interactive/picture_limits.h"
#include "platform/screen_capture.h"

namespace pw::interactive {

// A side over kMaxPictureSide, or a picture over kMaxPicturePixels
// (interactive/picture_limits.h), is refused: the sizes come from the office,
// and a picture is held several times over while it is made. Pictures are
// made one at a time in the process, so several offices asking at once cost
// the memory of one picture, not of one each.

// The GIF file (at most 256 colours, see interactive/color_quantizer.h), or
// nothing when it could not be made: no screen, depth 0, a size that is
// negative or over the limits, an encoder error. The failure is written to
// the log file only, as "Ошибка получения скина " + the error's text.
std::optional<std::vector<std::uint8_t>> CaptureScreenGif(
    std::int32_t width, std::int32_t height, std::uint32_t depth,
    const platform::ScreenSource& screen = platform::CapturePrimaryScreen);

// The JPEG file (colour, baseline, quality = the low 8 bits of quality as
// libjpeg takes it: 0 becomes 1, above 100 becomes 100). The same failures
// as CaptureScreenGif raise pw::Error, unlogged.
std::vector<std::uint8_t> CaptureScreenJpeg(
    std::int32_t width, std::int32_t height, std::int32_t quality, std::uint32_t depth,
    const platform::ScreenSource& screen = platform::CapturePrimaryScreen);

}  // namespace pw::interactive
