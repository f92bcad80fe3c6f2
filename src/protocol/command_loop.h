// The listener's command loop: after the handshake, each line is compared in
// table order with the command words of its end; the first match runs its
// handler, and a line that matches no word is ignored without reply.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "protocol/session.h"
#include "services/wire_context.h"

namespace pw::protocol {

struct Command {
  std::string_view word;  // compared with the whole line, case-sensitive
  std::function<void(Session&)> handler;
};

// What a listener adds to the loop: how long a peer may keep it waiting for
// its next command line, and whom to tell when it starts waiting (true) and
// when a line has come (false). A false answer ends the loop with the line
// unserved: the connection has been closed to make room for another.
struct CommandPhase {
  int idle_limit_ms = 0;  // 0: no limit
  std::function<bool(bool waiting)> changed;
};

// IdleTimeOut, or its default when below 1.
int IdleLimitMs(const WireSettings& settings);

// Runs until the peer or a handler closes the connection, or the peer sends
// no command line within phase's idle limit (the caller closes it then). An
// error a handler lets escape is raised to the caller, which closes that
// connection only.
void ServeCommands(Session& session, const std::vector<Command>& commands,
                   const CommandPhase& phase = {});

// ServeCommands for a listener: an error that ends the connection closes
// it and is then logged with the peer's address (to log's window too, when
// given), not raised. A close of either end is no error.
void ServeCommandsLoggingErrors(Session& session, const std::vector<Command>& commands,
                                const WireContext& wire, ui::ListBox* log,
                                const CommandPhase& phase = {});

}  // namespace pw::protocol
