#include "office/listener_context.h"

#include "office/connections.h"
#include "services/event_log.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

std::string NamedStation(const ListenerContext& context, const protocol::Session& session) {
  const std::string told = RegisteredName(session.peer_name());
  return told.empty() ? context.find_name_by_ip(session.PeerIP()) : told;
}

std::string AttributedStation(const ListenerContext& context, const protocol::Session& session,
                              bool log_fallback) {
  std::string name = NamedStation(context, session);
  if (!name.empty()) return name;
  name = context.last_station_name();
  if (log_fallback)
    AddToLog(std::string("Не найдена АЗС, будет установлена последняя: "_w) +
             text::VisibleText(name));  // file only
  return name;
}

}  // namespace pw::office
