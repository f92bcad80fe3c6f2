// The office's listener over the bytes a station (or anyone) sends: the
// handshake, then the command loop with every office command. There is no
// host, so the report commands end where they need one; received files go
// to the scratch folder.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "office/office_listener.h"
#include "office/report_reception.h"
#include "office/request_file_service.h"
#include "office/station_messages.h"
#include "platform/error.h"
#include "protocol/command_loop.h"
#include "protocol/handshake.h"

namespace {

using namespace pw;

std::vector<protocol::Command> OfficeCommands() {
  office::StationMessages m;
  office::ListenerContext& context = m.listener;
  context.log = [](std::string_view) {};
  context.host = []() -> HostServices { throw Error("no host"); };
  context.progress = fuzz::NoProgress();
  context.folder = fuzz::ScratchFolder();
  context.wire = fuzz::QuietWire;
  context.find_name_by_ip = [](const std::string&) { return std::string("AZS 7"); };
  context.last_station_name = [] { return std::string("AZS 7"); };
  context.pause = std::chrono::milliseconds(0);
  m.folder = fuzz::ScratchFolder();
  m.update_address = [](const std::string&, const std::string&) {};
  m.set_caption = [](const std::string& text) { return text; };
  m.notify = [](std::string_view, std::string_view, std::string_view) {};
  std::vector<protocol::Command> commands;
  auto add = [&](std::string_view word, std::function<void(protocol::Session&)> handler) {
    commands.push_back({word, std::move(handler)});
  };
  add("TRY_GET_ZAPROS", [context](protocol::Session& s) { office::ServeRequestFile(s, context); });
  add("Send_file", [context](protocol::Session& s) { office::ReceiveReport(s, context); });
  add("SEND_MYIP", [m](protocol::Session& s) { office::ServeStationAddress(s, m); });
  add("SEND_TEXT", [m](protocol::Session& s) { office::ServeStationText(s, m); });
  add("SEND_FILE2", [m](protocol::Session& s) { office::ServeStationFile(s, m); });
  for (std::size_t i = 0; i < commands.size(); ++i)
    if (commands[i].word != office::kOfficeCommandWords[i]) __builtin_trap();  // the table's order
  return commands;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > fuzz::kMaxPeerBytes) return 0;
  static const std::vector<protocol::Command> commands = OfficeCommands();
  static const WireContext wire = fuzz::QuietWire();
  const protocol::ListenerSide side{wire, protocol::End::Office, nullptr, {},
                                    [](const std::string&, const std::string&) {},
                                    [](const std::string&) {}};
  fuzz::ServeAsListener(fuzz::Bytes(data, size), side, commands);
  return 0;
}
