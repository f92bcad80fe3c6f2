#include "station/station_listener.h"

#include <exception>
#include <thread>

#include "platform/error.h"
#include "protocol/handshake.h"
#include "protocol/listener_limits.h"
#include "services/event_log.h"
#include "services/wire_context.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"

namespace pw::station {

StationListener::StationListener(ui::ListBox* log, const PluginContext& plugin)
    : log_(log), plugin_(plugin),
      server_([this](platform::TcpConnection& c) { Serve(c); }, protocol::LogRefusals) {
  for (std::string_view word : kStationCommandWords)
    commands_.push_back({word, [](protocol::Session&) {}});
}

StationListener::~StationListener() {
  try {
    Deactivate();
  } catch (...) {
    // The server's own destructor stops it all the same.
  }
}

void StationListener::Activate(int port, const std::vector<std::string>& bind_addresses) {
  if (stopping_.load()) throw Error(std::string("Сервер еще останавливается"_w));
  if (!server_.Active()) {
    bindings_ = bind_addresses;  // an active server keeps its own
    server_.SetLimits(protocol::ListenerLimits());
  }
  server_.Activate(port, bind_addresses);
}

void StationListener::Deactivate() {
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  if (!dispatcher.on_main_thread()) {
    // Either there is no main thread (then log lines are handed over inline)
    // or it is free to take them while this thread waits.
    server_.Deactivate();
    return;
  }
  if (!server_.Active()) return;
  // Work run while the main thread waits below must not start another stop
  // or a start: either would wait for the helper, which waits for the
  // main thread.
  if (stopping_.exchange(true)) throw Error(std::string("Сервер еще останавливается"_w));
  struct ClearOnExit {
    std::atomic<bool>& flag;
    ~ClearOnExit() { flag.store(false); }
  } clear{stopping_};
  dispatcher.run_off_main_thread([this] { server_.Deactivate(); });
}

void StationListener::SetHandler(std::string_view word, Handler handler) {
  MutexLock lock(commands_mu_);
  for (protocol::Command& command : commands_) {
    if (command.word == word) {
      command.handler = handler ? std::move(handler) : Handler([](protocol::Session&) {});
      return;
    }
  }
  throw Error("not a station command: " + std::string(word));
}

std::vector<protocol::Command> StationListener::Commands() const {
  MutexLock lock(commands_mu_);
  return commands_;
}

void StationListener::Serve(platform::TcpConnection& connection) {
  const std::string ip = connection.PeerAddress();
  try {
    protocol::Session session(connection);
    const WireContext wire = CurrentWireContext();
    const protocol::ListenerSide side{wire, protocol::End::Station, log_,
                                      [this] { return plugin_.Host().GetOwnName(); }, {}, {},
                                      &attempts_};
    if (protocol::ListenerHandshake(session, side).accepted)
      protocol::ServeCommandsLoggingErrors(session, Commands(), wire, log_);
  } catch (...) {
    // No settings or log to work with: this connection ends, nothing more.
  }
  connection.Disconnect();
  try {
    AddToLog(std::string("Входящее подключение разорванно, IP: "_w) + ip, log_);
  } catch (...) {
    // The log file cannot be written: nothing more to tell anyone.
  }
}

}  // namespace pw::station
