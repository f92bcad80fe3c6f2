// The station's listener over the bytes an office (or anyone) sends: the
// handshake, then the command loop with the commands that need no host
// ("GET_OTCHET" keeps its placeholder). Pictures are of a small synthetic
// screen; received files go to the scratch folder.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxPeerBytes) return 0;
  static const std::vector<protocol::Command> commands = StationCommands();
  static const WireContext wire = fuzz::QuietWire();
  auto [end, peer] = platform::ConnectionPairAfterSending(fuzz::Bytes(data, size));
  end.SetReadTimeout(1000);  // the bytes are all there: never reached
  fuzz::PeerDrain drain(peer);
  protocol::Session session(end);
  const protocol::ListenerSide side{wire, protocol::End::Station, nullptr,
                                    [] { return std::string("AZS 7"); }, {}, {}};
  try {
    if (protocol::ListenerHandshake(session, side).accepted) protocol::ServeCommands(session, commands);
  } catch (const std::exception&) {
    // As the listener: an error ends this connection only.
  }
  end.Disconnect();  // ends the drain
  fuzz::ClearScratchFolder();
  return 0;
}
