#include "interactive/send_my_ip.h"

#include "interactive/command_frame.h"
#include "text/cp1251.h"

namespace pw::interactive {

void SendMyIP(const SendServices& services, const std::string& address, std::int32_t port,
              Worker* stop) {
  services.log(std::string("Отправка своего IP адреса "_w) + address + " " + std::to_string(port));
  RunCommandFrame(services, address, port, Tail::Skip, [&](protocol::Session& client, const std::string&) {
    client.WriteLine("SEND_MYIP");
    services.disconnect(client);
  }, stop);
}

}  // namespace pw::interactive
