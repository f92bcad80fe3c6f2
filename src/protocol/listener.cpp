#include "protocol/listener.h"

#include <exception>

#include "platform/error.h"
#include "protocol/listener_limits.h"
#include "services/wire_context.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"

namespace pw::protocol {

namespace {

Error StillStopping() { return Error(std::string("Сервер еще останавливается"_w)); }

}  // namespace

Listener::Listener(std::span<const std::string_view> words, ListenerEnd end)
    : end_(std::move(end)),
      server_([this](platform::TcpConnection& c) { Serve(c); }, LogRefusals) {
  for (std::string_view word : words) commands_.push_back({word, [](Session&) {}});
}

Listener::~Listener() {
  try {
    Deactivate();
  } catch (...) {
    // Destroyed from one of its own connections, or inside another stop:
    // the server's own destructor still stops it.
  }
}

void Listener::Activate(int port, const std::vector<std::string>& bind_addresses) {
  // A start run while the main thread waits for a stop would either wait
  // for the stop's helper, which waits for the main thread, or leave the
  // server listening behind the stop's back.
  if (stopping_.load()) throw StillStopping();
  if (!server_.Active()) {
    bindings_ = bind_addresses;  // an active server keeps its own
    server_.SetLimits(ListenerLimits());
  }
  ui::Dispatcher::instance().run_off_main_thread(
      [&] { server_.Activate(port, bind_addresses); });
}

void Listener::Deactivate() {
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  if (!dispatcher.on_main_thread()) {
    // Either there is no main thread (then log lines are handed over inline)
    // or it is free to take them while this thread waits. From a
    // connection's own thread the server raises.
    server_.Deactivate();
    return;
  }
  if (!server_.Active()) return;
  // Work run while the main thread waits below must not start another stop
  // or a start: either would wait for the helper, which waits for the
  // main thread.
  if (stopping_.exchange(true)) throw StillStopping();
  struct ClearOnExit {
    std::atomic<bool>& flag;
    ~ClearOnExit() { flag.store(false); }
  } clear{stopping_};
  dispatcher.run_off_main_thread([this] { server_.Deactivate(); });
}

bool Listener::SetHandler(std::string_view word, Handler handler) {
  MutexLock lock(commands_mu_);
  for (Command& command : commands_) {
    if (command.word == word) {
      command.handler = handler ? std::move(handler) : Handler([](Session&) {});
      return true;
    }
  }
  return false;
}

std::vector<Command> Listener::Commands() const {
  MutexLock lock(commands_mu_);
  return commands_;
}

void Listener::Serve(platform::TcpConnection& connection) {
  const std::string ip = connection.PeerAddress();
  Session session(connection);
  bool accepted = false;
  try {
    const WireContext wire = CurrentWireContext();
    const ListenerSide side{wire,          end_.end,       end_.log, end_.own_name,
                            end_.register_station, end_.name_read, &attempts_};
    accepted = ListenerHandshake(session, side).accepted;
    if (accepted) {
      // Tells the server which connections it may close to make room: only
      // one waiting for its next command line.
      const CommandPhase phase{IdleLimitMs(wire.settings), [&](bool waiting) {
                                 return server_.SetPhase(connection,
                                                         waiting ? platform::TcpServer::Phase::kWaiting
                                                                 : platform::TcpServer::Phase::kBusy);
                               }};
      ServeCommandsLoggingErrors(session, Commands(), wire, end_.log, phase);
    }
  } catch (const std::exception&) {
    // No settings or log to work with: this connection ends, nothing more.
  } catch (...) {
    // Nothing this system raises: told, and only this connection ends.
    ui::Dispatcher::instance().report_current_exception();
  }
  session.Disconnect();
  try {
    end_.ended(ip, accepted);
  } catch (const std::exception&) {
    // The log file cannot be written: nothing more to tell anyone.
  } catch (...) {
    ui::Dispatcher::instance().report_current_exception();
  }
}

}  // namespace pw::protocol
