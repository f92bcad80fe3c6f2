// The office listener: the listening server of the office window that
// accepts the stations' connections. Each connection runs on a thread of its
// own: the office's side of the handshake (registering the station), then
// the office's commands until the station closes; every end of a connection
// is logged and clears LastStationName.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp.h"
#include "protocol/command_loop.h"
#include "protocol/password_attempts.h"
#include "protocol/session.h"
#include "sync/mutex.h"

namespace pw::office {

class TInetOfficeForm;

// The command words of the office, in the order a line is compared with them.
inline constexpr std::string_view kOfficeCommandWords[] = {
    "TRY_GET_ZAPROS", "Send_file", "SEND_MYIP", "SEND_TEXT", "SEND_FILE2"};

using CommandHandler = std::function<void(protocol::Session&)>;

class OfficeListener {
 public:
  // Every word starts with a handler that does nothing.
  explicit OfficeListener(TInetOfficeForm& window);
  // Stops like Stop, ignoring errors.
  ~OfficeListener();
  OfficeListener(const OfficeListener&) = delete;
  OfficeListener& operator=(const OfficeListener&) = delete;

  // Listens on port at every local address (0: a free port), with the caps
  // MaxConnections and MaxConnectionsPerIP as they stand now. Does nothing
  // when already listening. Raises pw::Error when the port cannot be taken.
  void Start(int port);

  // Stops accepting, closes every station's connection and waits until each
  // has ended. Its end is logged to the window, which needs the main thread:
  // called there, the waiting is done on a helper thread while the main
  // thread keeps serving the connections' handed-over work. Does nothing
  // when not listening. Raises pw::Error when called from a connection of
  // this listener.
  void Stop();

  bool Active() const { return server_.Active(); }
  int Port() const { return server_.Port(); }

  // Installs the handler of one of the office's words; false (nothing
  // changed) for any other word; an empty handler puts the placeholder
  // back. A connection uses the table as it was when its station passed the
  // handshake. Any thread.
  bool SetCommandHandler(std::string_view word, CommandHandler handler);
  // The table as a new connection would get it.
  std::vector<protocol::Command> Commands() const;

 private:
  // The whole life of one accepted connection.
  void Serve(platform::TcpConnection& connection);
  // Logs the end; the station is looked up only when it passed the handshake.
  void ConnectionEnded(const std::string& ip, bool accepted);

  TInetOfficeForm& window_;
  mutable Mutex commands_mu_;
  std::vector<protocol::Command> commands_ GUARDED_BY(commands_mu_);
  protocol::PasswordAttempts attempts_;
  platform::TcpServer server_;               // last: its threads use the members above
};

}  // namespace pw::office
