#include "station/screen_commands.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "interactive/screen_pictures.h"
#include "platform/error.h"
#include "services/event_log.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::station {

namespace {

// Waits until this connection's next picture is due. Each connection is
// served on a thread of its own from its accept to its close, so the
// thread's own record is the connection's.
void AwaitPictureTurn() {
  using Clock = std::chrono::steady_clock;
  thread_local Clock::time_point next_turn;
  const Clock::time_point now = Clock::now();
  if (now < next_turn) std::this_thread::sleep_until(next_turn);
  next_turn = std::max(now, next_turn) + kPictureInterval;
}

void SendPicture(protocol::Session& session, const std::vector<std::uint8_t>& picture) {
  session.WriteNumberLine(static_cast<std::int64_t>(picture.size()));
  session.WriteBlock(picture.data(), picture.size());
}

}  // namespace

void ServeScreenshot(protocol::Session& session, const ScreenPictures& pictures) {
  const auto depth = static_cast<std::uint32_t>(session.ReadNumberLine());
  AwaitPictureTurn();
  const std::optional<std::vector<std::uint8_t>> picture =
      interactive::CaptureScreenGif(0, 0, depth, pictures.screen);
  if (!picture) {
    session.Disconnect();
    return;
  }
  SendPicture(session, *picture);
}

void ServeTvShot(protocol::Session& session, const ScreenPictures& pictures) {
  try {
    const std::int32_t width = session.ReadNumberLine();
    const std::int32_t height = session.ReadNumberLine();
    const auto depth = static_cast<std::uint32_t>(session.ReadNumberLine());
    const std::int32_t compression = session.ReadNumberLine();
    AwaitPictureTurn();
    std::optional<std::vector<std::uint8_t>> picture;
    if (compression != 0)
      picture = interactive::CaptureScreenJpeg(width, height, compression, depth, pictures.screen);
    else
      picture = interactive::CaptureScreenGif(width, height, depth, pictures.screen);
    if (!picture) throw Error(std::string("Картинка не получена"_w));
    SendPicture(session, *picture);
  } catch (const std::exception& e) {
    AddToLog(std::string("tvtvtv - ") + text::VisibleText(e.what()));  // may quote a received line
  }
}

}  // namespace pw::station
