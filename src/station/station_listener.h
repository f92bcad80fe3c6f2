// The station's listening server (IdTCPServer1 of the station window): every
// accepted connection runs the station's listener handshake on a thread of
// its own and then serves the office's command words until the connection
// ends. The commands themselves are installed by the parts that carry them;
// until then each word is accepted and does nothing.
//
// Threads: connection threads write their log lines through AddToLog, which
// waits for the main thread. Stopping the server joins those threads, so a
// main thread that stops it keeps running handed-over work meanwhile (see
// Deactivate); a stop can therefore never deadlock against a connection
// that is logging.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp.h"
#include "protocol/command_loop.h"
#include "protocol/password_attempts.h"
#include "sync/mutex.h"
#include "services/plugin_context.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

// The station's command words, in the order a command line is compared
// with them.
inline constexpr std::array<std::string_view, 6> kStationCommandWords = {
    "GET_OTCHET", "SEND_MYIP", "SEND_TEXT", "GET_SCREENSHOT", "GET_TVSHOT", "SEND_FILE2"};

class StationListener {
 public:
  using Handler = std::function<void(protocol::Session&)>;

  // log: the station window's log list; plugin: where the station's own
  // name comes from. Both must outlive the listener.
  StationListener(ui::ListBox* log, const PluginContext& plugin);
  // Stops the server as Deactivate does.
  ~StationListener();
  StationListener(const StationListener&) = delete;
  StationListener& operator=(const StationListener&) = delete;

  // Starts listening at port on each of bind_addresses, or on all addresses
  // when the list is empty, with the caps MaxConnections and
  // MaxConnectionsPerIP as they stand now. Nothing when already active. Raises pw::Error
  // when a socket cannot be bound (nothing listens then), or while a stop
  // is still under way.
  void Activate(int port, const std::vector<std::string>& bind_addresses);

  // Stops accepting, closes every open connection and joins their threads.
  // On the main thread the server is stopped by a helper thread while the
  // main thread goes on running handed-over work (the connections' log
  // lines among it) until the stop is complete. Nothing when not active.
  // Raises pw::Error when called from a connection's own thread or from
  // work run while another stop is under way.
  void Deactivate();

  // The addresses of the latest Activate (empty: all addresses), which a
  // move to another port keeps. Main thread.
  const std::vector<std::string>& Bindings() const { return bindings_; }

  bool Active() const noexcept { return server_.Active(); }
  // The port listened on while active, 0 when not.
  int Port() const noexcept { return server_.Port(); }
  std::size_t ConnectionThreads() const { return server_.ConnectionThreads(); }

  // Installs the handler of one command word of kStationCommandWords; it
  // takes effect for connections accepted from then on. Any thread. Raises
  // pw::Error for a word that is not a station command.
  void SetHandler(std::string_view word, Handler handler);
  // The command table as connections accepted now would use it.
  std::vector<protocol::Command> Commands() const;

 private:
  void Serve(platform::TcpConnection& connection);

  ui::ListBox* const log_;
  const PluginContext& plugin_;
  mutable Mutex commands_mu_;
  std::vector<protocol::Command> commands_ GUARDED_BY(commands_mu_);
  std::vector<std::string> bindings_;  // main thread
  std::atomic<bool> stopping_{false};        // a pumped stop is under way
  protocol::PasswordAttempts attempts_;
  platform::TcpServer server_;               // last: its threads use the members above
};

}  // namespace station
}  // namespace pw
