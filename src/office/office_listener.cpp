#include "office/office_listener.h"

#include <atomic>
#include <exception>
#include <thread>

#include "office/inet_office_form.h"
#include "protocol/handshake.h"
#include "protocol/listener_limits.h"
#include "services/event_log.h"
#include "services/wire_context.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"

namespace pw::office {

OfficeListener::OfficeListener(TInetOfficeForm& window)
    : window_(window),
      server_([this](platform::TcpConnection& c) { Serve(c); }, protocol::LogRefusals) {
  for (std::string_view word : kOfficeCommandWords)
    commands_.push_back({word, [](protocol::Session&) {}});
}

OfficeListener::~OfficeListener() {
  try {
    Stop();
  } catch (...) {
    // Destroyed from one of its own connections: TcpServer's own
    // destructor still stops it.
  }
}

void OfficeListener::Start(int port) {
  if (!server_.Active()) server_.SetLimits(protocol::ListenerLimits());
  ui::Dispatcher::instance().run_off_main_thread([&] { server_.Activate(port); });
}

void OfficeListener::Stop() {
  if (!server_.Active()) return;
  ui::Dispatcher::instance().run_off_main_thread([&] { server_.Deactivate(); });
}

bool OfficeListener::SetCommandHandler(std::string_view word, CommandHandler handler) {
  MutexLock lock(commands_mu_);
  for (protocol::Command& command : commands_) {
    if (command.word == word) {
      command.handler = handler ? std::move(handler) : [](protocol::Session&) {};
      return true;
    }
  }
  return false;
}

std::vector<protocol::Command> OfficeListener::Commands() const {
  MutexLock lock(commands_mu_);
  return commands_;
}

void OfficeListener::Serve(platform::TcpConnection& connection) {
  const std::string ip = connection.PeerAddress();
  protocol::Session session(connection);
  bool accepted = false;
  try {
    const WireContext wire = CurrentWireContext();
    const protocol::ListenerSide side{
        wire, protocol::End::Office, &window_.log, {},
        [this](const std::string& name, const std::string& peer) {
          window_.connections().AddStation(name, peer);
        },
        // Every accept names the latest station, before its password is checked.
        [this](const std::string& name) { window_.SetLastStationName(name); },
        &attempts_};
    accepted = protocol::ListenerHandshake(session, side).accepted;
    if (accepted) protocol::ServeCommandsLoggingErrors(session, Commands(), wire, &window_.log);
  } catch (const std::exception&) {
    // No settings or log to work with: this connection ends, nothing more.
  }
  session.Disconnect();
  ConnectionEnded(ip, accepted);
}

void OfficeListener::ConnectionEnded(const std::string& ip, bool accepted) {
  // A log file that cannot be written costs the line, nothing else. A peer
  // that never passed the handshake is no station to look up: its end costs
  // one line, not the lookup's two and the list, so a flood of bare
  // connections cannot fill the day's log.
  std::string name;
  try {
    if (accepted) name = window_.connections().FindNameByIP(ip);
  } catch (const std::exception&) {
  }
  // The end names the station by its address alone (empty when unknown).
  window_.SetLastStationName(std::string());
  try {
    AddToLog(std::string("Соединение разорванно, имя АЗС: "_w) + text::VisibleText(name) +
                 ", IP: " + ip,
             &window_.log);
  } catch (const std::exception&) {
  }
}

}  // namespace pw::office
