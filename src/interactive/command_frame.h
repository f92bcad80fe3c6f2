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
// Who closes the session: the exchange itself, or the frame afterwards with
// the window's DisconnectFromServer, also when no session was opened (not
// after an error).
enum class Closing { ByExchange, Afterwards };

// Runs exchange on a client connected to address:port, with the name the
// other end told in this session's handshake; without a connection (the
// connection step said no, or the session did not open) it does not run. worker: when the frame runs on a worker thread, its stop closes the
// client at once.
void RunCommandFrame(const SendServices& services, const std::string& address, int port,
                     Tail tail,
                     const std::function<void(protocol::Session&, const std::string& peer_name)>& exchange,
                     Worker* worker = nullptr, Closing closing = Closing::ByExchange);

}  // namespace pw::interactive
