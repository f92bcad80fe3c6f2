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

// Runs until the peer or a handler closes the connection. An error a
// handler lets escape is raised to the caller, which closes that connection
// only.
void ServeCommands(Session& session, const std::vector<Command>& commands);

// ServeCommands for a listener: an error that ends the connection closes
// it and is then logged with the peer's address (to log's window too, when
// given), not raised. A close of either end is no error.
void ServeCommandsLoggingErrors(Session& session, const std::vector<Command>& commands,
                                const WireContext& wire, ui::ListBox* log);

}  // namespace pw::protocol
