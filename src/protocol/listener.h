// The listening server of either end (IdTCPServer1 at a station,
// IdTCPServer2 at the office): every accepted connection runs the listener
// handshake of its end on a thread of its own, then serves that end's
// command words until the connection ends, and the end is told. The commands
// are installed by the parts that carry them; until then each word is
// accepted and does nothing.
//
// Threads: connection threads write their log lines through AddToLog, which
// waits for the main thread. Stopping the server joins those threads, so a
// main thread that stops it keeps running handed-over work meanwhile (see
// Deactivate); a stop can therefore never deadlock against a connection
// that is logging.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp.h"
#include "protocol/command_loop.h"
#include "protocol/handshake.h"
#include "protocol/password_attempts.h"
#include "sync/mutex.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace protocol {

// What one end adds to the listener: its side of the handshake and what it
// does when a connection has ended.
struct ListenerEnd {
  End end = End::Station;
  ui::ListBox* log = nullptr;  // the connection window's log list
  // The handshake's callbacks of this end (see ListenerSide).
  std::function<std::string()> own_name;
  std::function<void(const std::string& name, const std::string& ip)> register_station;
  std::function<void(const std::string& name)> name_read;
  // Called once the connection is closed, with the peer's address and
  // whether it passed the handshake. May raise: the listener swallows it.
  std::function<void(const std::string& ip, bool accepted)> ended;
};

class Listener {
 public:
  using Handler = std::function<void(Session&)>;

  // words: the end's command words in the order a line is compared with
  // them (static storage); each starts with a handler that does nothing.
  Listener(std::span<const std::string_view> words, ListenerEnd end);
  // Stops the server as Deactivate does, ignoring errors.
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Starts listening at port on each of bind_addresses, or on all addresses
  // when the list is empty (port 0: a free port), with the caps
  // MaxConnections and MaxConnectionsPerIP as they stand now. Nothing when
  // already active. On the main thread the sockets are opened by a helper
  // thread, so a stop under way on another thread can finish meanwhile.
  // Raises pw::Error when a socket cannot be bound (nothing listens then),
  // or while a stop is still under way.
  void Activate(int port, const std::vector<std::string>& bind_addresses = {});

  // Stops accepting, closes every open connection and joins their threads.
  // On the main thread the server is stopped by a helper thread while the
  // main thread goes on running handed-over work (the connections' log
  // lines among it) until the stop is complete. Nothing when not active.
  // Raises pw::Error when called from a connection's own thread, or from
  // work run while another stop is under way (changing nothing).
  void Deactivate();

  // The addresses of the latest Activate (empty: all addresses), which a
  // move to another port keeps. Main thread.
  const std::vector<std::string>& Bindings() const { return bindings_; }

  bool Active() const noexcept { return server_.Active(); }
  // The port listened on while active, 0 when not.
  int Port() const noexcept { return server_.Port(); }
  std::size_t ConnectionThreads() const { return server_.ConnectionThreads(); }

  // Installs the handler of one of the end's words; false (nothing changed)
  // for any other word; an empty handler puts the placeholder back. A
  // connection uses the table as it was when its peer passed the handshake.
  // Any thread.
  bool SetHandler(std::string_view word, Handler handler) LOCKS_EXCLUDED(commands_mu_);
  // The table as a new connection would get it.
  std::vector<Command> Commands() const LOCKS_EXCLUDED(commands_mu_);

 private:
  // The whole life of one accepted connection.
  void Serve(platform::TcpConnection& connection);

  const ListenerEnd end_;
  mutable Mutex commands_mu_;
  std::vector<Command> commands_ GUARDED_BY(commands_mu_);
  std::vector<std::string> bindings_;  // main thread
  std::atomic<bool> stopping_{false};  // a pumped stop is under way
  PasswordAttempts attempts_;
  platform::TcpServer server_;  // last: its threads use the members above
};

}  // namespace protocol
}  // namespace pw
