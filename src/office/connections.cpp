#include "office/connections.h"

#include <cstdio>
#include <mutex>

#include "services/event_log.h"
#include "services/locks.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

using text::VisibleText;

std::string RegisteredName(std::string_view sent_name) {
  return std::string(sent_name.substr(0, kMaxStationNameBytes));
}

void Tconnections::AddStation(const std::string& sent_name, const std::string& ip) {
  const std::string name = RegisteredName(sent_name);
  MutexLock lock(RegistryLock());
  const auto known = by_ip_.find(ip);
  if (known != by_ip_.end()) {
    for (const std::size_t i : known->second) {
      if (Entries[i].Name == name) {
        AddToLog(std::string("Уже есть IP в списке АЗС:"_w) + VisibleText(name) + " IP:" + ip);
        return;
      }
    }
  }
  if (Entries.size() >= kMaxStations) {
    if (!full_logged_) {
      AddToLog(std::string("Список АЗС заполнен, старые АЗС удаляются из списка, IP: "_w) + ip);
      full_logged_ = true;
    }
    DropOldest();
  }
  by_ip_[ip].push_back(Entries.size());
  Entries.push_back({name, ip});
}

void Tconnections::DropOldest() {
  Entries.erase(Entries.begin());
  by_ip_.clear();
  for (std::size_t i = 0; i < Entries.size(); ++i) by_ip_[Entries[i].IP].push_back(i);
}

std::string Tconnections::FindNameByIP(const std::string& ip) {
  MutexLock lock(RegistryLock());
  std::string name;
  const auto known = by_ip_.find(ip);
  if (known != by_ip_.end()) name = Entries[known->second.front()].Name;
  if (!name.empty())
    AddToLog(std::string("Есть АЗС в списке подключенных: "_w) + VisibleText(name) + " IP: " + ip);
  else
    AddToLog(std::string("Не найдена АЗС в списке подключенных IP:"_w) + ip);
  AddToLog(std::string("Список АЗС:"_w) + "\r\n" + ListLines(kStationsListedPerLookup));
  return name;
}

std::string Tconnections::GetListText() const { return ListLines(Entries.size()); }

std::string Tconnections::ListLines(std::size_t shown) const {
  if (Entries.empty()) return std::string("Нет подключенных АЗС"_w);
  std::string text;
  for (std::size_t i = 0; i < Entries.size() && i < shown; ++i) {
    char index[24];
    std::snprintf(index, sizeof index, "%02zu", i);
    text += index;
    text += ":   АЗС: "_w;
    text += VisibleText(Entries[i].Name);
    text += " (IP: ";
    text += Entries[i].IP;
    text += ")\r\n";
  }
  if (Entries.size() > shown)
    text += std::string("... и еще "_w) + std::to_string(Entries.size() - shown) + "\r\n";
  return text;
}

}  // namespace pw::office
