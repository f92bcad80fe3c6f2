#include "interactive/send_text_message.h"

#include "interactive/command_frame.h"
#include "interactive/message_history.h"
#include "text/cp1251.h"

namespace pw::interactive {

void SendTextMessage(const SendServices& services, const std::string& address, std::int32_t port,
                     const std::string& text, Worker* stop) {
  services.log(std::string("Отправка текста "_w) + address + " " + std::to_string(port));
  RunCommandFrame(services, address, port, Tail::Apply, [&](protocol::Session& client, const std::string&) {
    client.WriteLine("SEND_TEXT");
    client.WriteLine(text);
    services.disconnect(client);
    // Before the tail; a history that cannot be written is the command's error.
    AppendHistory(std::string("Отправлено: "_w) + text);
  }, stop);
}

}  // namespace pw::interactive
