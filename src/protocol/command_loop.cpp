#include "protocol/command_loop.h"

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

}  // namespace pw::protocol
