#include "protocol/listener_limits.h"

#include <algorithm>

#include "services/event_log.h"
#include "services/settings.h"
#include "text/cp1251.h"

namespace pw::protocol {

platform::TcpServer::Limits ListenerLimits() {
  const Settings& s = TheSettings();
  const Settings defaults;
  // A cap below 1 would let one peer shut out every station: the default
  // stands instead (Load has said so).
  auto cap = [](std::int32_t value, std::int32_t fallback) {
    return static_cast<std::size_t>(value >= 1 ? value : fallback);
  };
  const std::size_t connections = cap(s.MaxConnections.load(), defaults.MaxConnections.load());
  // Peers that never finish their handshake hold at most three quarters of
  // the whole (768 of 1024): the rest stays for stations past theirs, and
  // past that share the oldest handshake makes room for a new one.
  const std::size_t handshaking = std::max<std::size_t>(connections * 3 / 4, 1);
  return {connections, cap(s.MaxConnectionsPerIP.load(), defaults.MaxConnectionsPerIP.load()),
          handshaking};
}

std::string RefusalLine(const platform::TcpServer::Refusals& r) {
  if (r.made_room && r.burst_over)
    return std::string("Закрыто подключений, чтобы освободить место: "_w) + std::to_string(r.refused);
  if (r.made_room)
    return std::string("Закрыто подключение с IP: "_w) + r.first_address +
           std::string(", чтобы освободить место ("_w) + std::to_string(r.limit) + ")";
  if (r.burst_over)
    return std::string("Отклонено входящих подключений: "_w) + std::to_string(r.refused);
  if (r.per_address)
    return std::string("Слишком много входящих подключений с IP: "_w) + r.first_address + " (" +
           std::to_string(r.limit) + std::string("), новые отклоняются"_w);
  return std::string("Слишком много входящих подключений ("_w) + std::to_string(r.limit) +
         std::string("), новые отклоняются; первое отклонено с IP: "_w) + r.first_address;
}

void LogRefusals(const platform::TcpServer::Refusals& report) { AddToLog(RefusalLine(report)); }

}  // namespace pw::protocol
