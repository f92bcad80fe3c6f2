#include "office/connections.h"

#include <cstdio>
#include <mutex>

#include "services/event_log.h"
#include "services/locks.h"
#include "text/cp1251.h"

namespace pw::office {

void Tconnections::AddStation(const std::string& name, const std::string& ip) {
  MutexLock lock(RegistryLock());
  for (const TStationEntry& e : Entries) {
    if (e.Name == name && e.IP == ip) {
      AddToLog(std::string("Уже есть IP в списке АЗС:"_w) + name + " IP:" + ip);
      return;
    }
  }
  Entries.push_back({name, ip});
}

std::string Tconnections::FindNameByIP(const std::string& ip) {
  MutexLock lock(RegistryLock());
  std::string name;
  for (const TStationEntry& e : Entries) {
    if (e.IP == ip) {
      name = e.Name;
      break;
    }
  }
  if (!name.empty())
    AddToLog(std::string("Есть АЗС в списке подключенных: "_w) + name + " IP: " + ip);
  else
    AddToLog(std::string("Не найдена АЗС в списке подключенных IP:"_w) + ip);
  AddToLog(std::string("Список АЗС:"_w) + "\r\n" + GetListText());
  return name;
}

std::string Tconnections::GetListText() const {
  if (Entries.empty()) return std::string("Нет подключенных АЗС"_w);
  std::string text;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    char index[24];
    std::snprintf(index, sizeof index, "%02zu", i);
    text += index;
    text += ":   АЗС: "_w;
    text += Entries[i].Name;
    text += " (IP: ";
    text += Entries[i].IP;
    text += ")\r\n";
  }
  return text;
}

}  // namespace pw::office
