// The frame every interactive command runs its exchange in: the Internet
// connection step, a client of its own connected through the window of the
// mode, the exchange, the connection library's disconnect afterwards (the
// tail, which SendMyIP leaves out), and the error line "Ошибка обмена
// информацией : " + the error's text for anything raised on the way.
#pragma once

#include <functional>
#include <string>

#include "interactive/send_services.h"
#include "protocol/session.h"

namespace pw {
class Worker;
}

namespace pw::interactive {

enum class Tail { Apply, Skip };

enum class FrameOutcome {
  NotConnected,  // the connection step or the session's opening failed
  Done,          // the exchange ran to its end
  Failed,        // an error ended the command (logged)
};

// Runs exchange on a client connected to address:port. worker: when the
// frame runs on a worker thread, its stop closes the client at once.
FrameOutcome RunCommandFrame(const SendServices& services, const std::string& address, int port,
                             Tail tail, const std::function<void(protocol::Session&)>& exchange,
                             Worker* worker = nullptr);

}  // namespace pw::interactive
