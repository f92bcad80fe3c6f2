#include "protocol/command_loop.h"

#include <exception>
#include <string>

#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::protocol {

void ServeCommands(Session& session, const std::vector<Command>& commands) {
  for (;;) {
    std::string line;
    try {
      line = session.ReadLine();
    } catch (const platform::ConnectionClosed&) {
      return;  // the peer, or a handler, closed it: the session is over
    }
    for (const Command& command : commands) {
      if (line == command.word) {
        command.handler(session);
        break;
      }
    }
  }
}

void ServeCommandsLoggingErrors(Session& session, const std::vector<Command>& commands,
                                const WireContext& wire, ui::ListBox* log) {
  try {
    ServeCommands(session, commands);
  } catch (const platform::ConnectionClosed&) {
    // The peer closed in the middle of a command, or this end was stopped.
  } catch (const std::exception& e) {
    // Closed first: the peer is not held while a window takes the line.
    session.Disconnect();
    // The text may quote what the peer sent (an over-long line).
    try {
      wire.log(std::string("Ошибка при обработке команд, IP: "_w) + session.PeerIP() + ": " +
                   text::VisibleText(e.what()),
               log);
    } catch (const std::exception&) {
      // The log cannot be written: the connection ends all the same.
    }
  }
}

}  // namespace pw::protocol
