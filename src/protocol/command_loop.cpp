#include "protocol/command_loop.h"

#include <exception>
#include <string>

#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::protocol {

int IdleLimitMs(const WireSettings& settings) {
  return settings.IdleTimeOut > 0 ? settings.IdleTimeOut : kDefaultIdleTimeOut;
}

void ServeCommands(Session& session, const std::vector<Command>& commands,
                   const CommandPhase& phase) {
  for (;;) {
    if (phase.changed && !phase.changed(true)) return;
    std::string line;
    try {
      // A station that has nothing more to ask holds a thread and a place
      // under the caps: past the limit it is let go, and calls again when
      // it needs to.
      session.SetDeadline(phase.idle_limit_ms);
      line = session.ReadLine();
      session.SetDeadline(0);  // a command takes as long as its work does
    } catch (const platform::ConnectionClosed&) {
      return;  // the peer, or a handler, closed it: the session is over
    } catch (const platform::ReadTimeout&) {
      return;
    }
    if (phase.changed && !phase.changed(false)) return;
    for (const Command& command : commands) {
      if (line == command.word) {
        command.handler(session);
        break;
      }
    }
  }
}

void ServeCommandsLoggingErrors(Session& session, const std::vector<Command>& commands,
                                const WireContext& wire, ui::ListBox* log,
                                const CommandPhase& phase) {
  try {
    ServeCommands(session, commands, phase);
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
