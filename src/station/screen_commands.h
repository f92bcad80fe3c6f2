// The station listener's picture commands: "GET_SCREENSHOT" (one GIF of the
// whole screen) and "GET_TVSHOT" (one frame of the office's TV stream, GIF
// or JPEG, asked again and again on one connection). A picture goes out as
// its size line and one block of its bytes. After a picture that took t to
// make, the connection's next one waits until t * PictureRest has passed,
// so an office asking as fast as it can holds two thirds of a core at most,
// whatever the pictures' size. The office's TV asks e_TVrefresh ms (10 at
// least, a second by default) after each frame came: a rest shorter than
// that passes unseen, so a TV frame of up to 20 ms never waits.
#pragma once

#include <chrono>
#include <ratio>

#include "platform/screen_capture.h"
#include "protocol/session.h"

namespace pw::station {

using PictureRest = std::ratio<1, 2>;

struct ScreenPictures {
  // Where the screen copies come from.
  platform::ScreenSource screen = platform::CapturePrimaryScreen;
};

// "GET_SCREENSHOT": reads the depth line and sends the GIF of the whole
// screen at its own size. When no picture could be made (the reason is in
// the log file) the connection is closed without a reply. A read or write
// error is raised: it ends the connection.
void ServeScreenshot(protocol::Session& session, const ScreenPictures& pictures);

// "GET_TVSHOT": reads width, height, depth and JPEG compression lines and
// sends the JPEG (compression not 0) or GIF of the screen at that size. Any
// failure, the reads included, goes to the log file only as "tvtvtv - " +
// its text; nothing is sent and the connection reads its next command.
void ServeTvShot(protocol::Session& session, const ScreenPictures& pictures);

}  // namespace pw::station
