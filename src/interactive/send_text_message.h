// "Отправить текстовое сообщение": one line of text to the other end
// ("SEND_TEXT" and the text), and the history line "Отправлено: " + text
// once it has gone out. Runs on the calling thread (the main thread, from
// the menu), for the connect and read limits at most.
#pragma once

#include <cstdint>
#include <string>

#include "interactive/send_services.h"

namespace pw {
class Worker;
}

namespace pw::interactive {

// text: non-empty, one line (the prompt has made each typed line break a
// lone CR). A text that did not reach the other end (no connection, no
// session, an error) leaves no history line: the history tells what was
// sent. The start line "Отправка текста " + address + " " + port.
// stop: when given, its stop closes the connection at once.
void SendTextMessage(const SendServices& services, const std::string& address, std::int32_t port,
                     const std::string& text, Worker* stop = nullptr);

}  // namespace pw::interactive
