// "Отправить свой IP адрес": the other end takes the address of the
// connection itself ("SEND_MYIP", nothing else on the wire). Runs on the
// calling thread (the main thread, from the menu), for the connect and read
// limits at most.
#pragma once

#include <cstdint>
#include <string>

#include "interactive/send_services.h"

namespace pw {
class Worker;
}

namespace pw::interactive {

// The start line "Отправка своего IP адреса " + address + " " + port, then
// the command in its frame without the tail: a connection the connection
// library made stays up.
// stop: when given, its stop closes the connection at once.
void SendMyIP(const SendServices& services, const std::string& address, std::int32_t port,
              Worker* stop = nullptr);

}  // namespace pw::interactive
