// The station's listener over the bytes an office (or anyone) sends: the
// handshake, then the command loop with the commands that need no host
// ("GET_OTCHET" keeps its placeholder). Pictures are of a small synthetic
// screen; received files go to the scratch folder.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "interactive/picture_limits.h"
#include "platform/error.h"
#include "protocol/command_loop.h"
#include "protocol/handshake.h"
#include "station/office_messages.h"
#include "station/screen_commands.h"
#include "station/station_listener.h"

namespace {

using namespace pw;

std::vector<protocol::Command> StationCommands() {
  station::OfficeMessages m;
  m.log = [](std::string_view) {};
  m.progress = fuzz::NoProgress();
  m.folder = fuzz::ScratchFolder();
  m.wire = fuzz::QuietWire;
  m.adopt_address = [](const std::string&) {};
  m.notify = [](std::string_view, std::string_view) {};
  station::ScreenPictures pictures;
  pictures.screen = [] {
    platform::PixelImage screen{16, 8, std::vector<std::uint32_t>(16 * 8, 0x00336699)};
    screen.at(3, 3) = 0x00FFFFFF;
    return screen;
  };
  std::vector<protocol::Command> commands;
  for (std::string_view word : station::kStationCommandWords) commands.push_back({word, [](protocol::Session&) {}});
  auto set = [&](std::string_view word, std::function<void(protocol::Session&)> handler) {
    for (protocol::Command& c : commands)
      if (c.word == word) c.handler = std::move(handler);
  };
  set("SEND_MYIP", [m](protocol::Session& s) { station::ServeOfficeAddress(s, m); });
  set("SEND_TEXT", [m](protocol::Session& s) { station::ServeOfficeText(s, m); });
  set("SEND_FILE2", [m](protocol::Session& s) { station::ServeOfficeFile(s, m); });
  set("GET_SCREENSHOT", [pictures](protocol::Session& s) { station::ServeScreenshot(s, pictures); });
  set("GET_TVSHOT", [pictures](protocol::Session& s) { station::ServeTvShot(s, pictures); });
  return commands;
}

// A TV shot the office asks for is drawn at the size it names, up to the
// caps of picture_limits.h: seconds for one at the caps, time the fuzzer
// would spend drawing. So an input that asks for one keeps its numbers
// small, or beyond the caps (refused at once).
bool DrawsBigPictures(std::string_view bytes) {
  if (bytes.find("GET_TVSHOT") == std::string_view::npos) return false;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    try {
      const std::int32_t n = protocol::ParseNumberLine(std::string(line));
      if (n > 256 && n <= interactive::kMaxPictureSide) return true;
    } catch (const Error&) {
    }
    pos = end + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxPeerBytes || DrawsBigPictures(fuzz::Bytes(data, size))) return 0;
  static const std::vector<protocol::Command> commands = StationCommands();
  static const WireContext wire = fuzz::QuietWire();
  const protocol::ListenerSide side{wire, protocol::End::Station, nullptr,
                                    [] { return std::string("AZS 7"); }, {}, {}};
  fuzz::ServeAsListener(fuzz::Bytes(data, size), side, commands);
  return 0;
}
