// What the office listener's report commands ("TRY_GET_ZAPROS", "Send_file")
// need, handed to them by the office window when it installs them; and how a
// command names the station it serves.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

#include "office/exchange_services.h"
#include "protocol/session.h"

namespace pw::office {

struct ListenerContext : ExchangeServices {
  // The registry's FindNameByIP ("" when the address is unknown).
  std::function<std::string(const std::string& ip)> find_name_by_ip;
  // The station of the latest handshake, the stand-in for an unknown address.
  std::function<std::string()> last_station_name;
  // How long the request-file service keeps the lock after a body.
  std::chrono::milliseconds pause{1000};
};

// The station a command on session is served for: the name its own
// handshake told (cut as the registry keeps names), so stations behind one
// address stay apart. Only a connection that told an empty name is looked up
// by its address in the registry ("" when unknown there too).
std::string NamedStation(const ListenerContext& context, const protocol::Session& session);

// NamedStation, else LastStationName. With log_fallback the stand-in is
// logged to the file: "Не найдена АЗС, будет установлена последняя: " + name.
std::string AttributedStation(const ListenerContext& context, const protocol::Session& session,
                              bool log_fallback);

}  // namespace pw::office
