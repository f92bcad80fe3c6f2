#include "services/wire_context.h"

#include "services/event_log.h"
#include "services/settings.h"

namespace pw {

namespace {

constexpr std::int32_t kFastPacketSize = 256000;
constexpr std::int32_t kAckPacketSize = 128;

}  // namespace

WireContext CurrentWireContext() {
  const Settings& s = TheSettings();
  WireContext wire;
  wire.log = [](std::string_view text, ui::ListBox* list) { AddToLog(text, list); };
  wire.ask = [](const ui::BoxRequest& box) {
    return ui::Operator::instance().ShowMessageBox(box);
  };
  wire.switch_transfer_mode = [](bool fast) {
    Settings& settings = TheSettings();
    settings.useFastDatTravel = fast;
    settings.InetBuffSize = fast ? kFastPacketSize : kAckPacketSize;
  };
  wire.settings = {s.PasswordEnable.load(),   s.Password.get(),        s.PasswordUnusable.load(),
                   s.ReadTimeOut.load(),      s.ConnectTimeOut.load(), s.ZaprosTimeOut.load(),
                   s.useFastDatTravel.load(), s.InetBuffSize.load(),     s.HandshakeTimeOut.load(),
                   s.IdleTimeOut.load()};
  return wire;
}

}  // namespace pw
