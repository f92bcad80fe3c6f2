#include "station/screen_commands.h"

#include <chrono>
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

using Clock = std::chrono::steady_clock;

// When this connection's next picture may be made. Each connection is
// served on a thread of its own from its accept to its close, so the
// thread's own record is the connection's.
thread_local Clock::time_point next_turn;

// Makes a picture when this connection's turn has come, and sets its next
// turn PictureRest of the picture's making after its end, a picture that
// failed included.
template <class Make>
auto MakeInTurn(Make make) {
  std::this_thread::sleep_until(next_turn);
  struct NextTurn {
    Clock::time_point start = Clock::now();
    ~NextTurn() {
      const Clock::time_point end = Clock::now();
      next_turn = end + (end - start) * PictureRest::num / PictureRest::den;
    }
  } set_next_turn;
  return make();
}

void SendPicture(protocol::Session& session, const std::vector<std::uint8_t>& picture) {
  session.WriteNumberLine(static_cast<std::int64_t>(picture.size()));
  session.WriteBlock(picture.data(), picture.size());
}

}  // namespace

void ServeScreenshot(protocol::Session& session, const ScreenPictures& pictures) {
  const auto depth = static_cast<std::uint32_t>(session.ReadNumberLine());
  const std::optional<std::vector<std::uint8_t>> picture =
      MakeInTurn([&] { return interactive::CaptureScreenGif(0, 0, depth, pictures.screen); });
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
    // A TV stream copies the screen again and again on this connection.
    thread_local const platform::KeepScreenCopies keep;
    const std::optional<std::vector<std::uint8_t>> picture =
        MakeInTurn([&]() -> std::optional<std::vector<std::uint8_t>> {
          if (compression != 0)
            return interactive::CaptureScreenJpeg(width, height, compression, depth, pictures.screen);
          return interactive::CaptureScreenGif(width, height, depth, pictures.screen);
        });
    if (!picture) throw Error(std::string("Картинка не получена"_w));
    SendPicture(session, *picture);
  } catch (const std::exception& e) {
    AddToLog(std::string("tvtvtv - ") + text::VisibleText(e.what()));  // may quote a received line
  }
}

}  // namespace pw::station
