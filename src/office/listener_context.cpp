#include "office/listener_context.h"

#include "services/event_log.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

std::string AttributedStation(const ListenerContext& context, const std::string& ip,
                              bool log_fallback) {
  std::string name = context.find_name_by_ip(ip);
  if (!name.empty()) return name;
  name = context.last_station_name();
  if (log_fallback)
    AddToLog(std::string("Не найдена АЗС, будет установлена последняя: "_w) +
             text::VisibleText(name));  // file only
  return name;
}

}  // namespace pw::office
