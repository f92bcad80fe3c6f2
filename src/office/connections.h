// The office's registry of stations: every (name, address) pair that passed
// the password check of the office listener since the office window was
// made. A command on an incoming connection whose station told no name is
// attributed to a station by the connection's peer address through it. Entries are appended, up to
// kMaxStations; past that the oldest makes room, since every connection
// registers its station again before its commands look it up, and a peer
// that floods the registry must not leave real stations out of it. A name is
// cut to kMaxStationNameBytes first, so what a peer sends in its handshake
// bounds neither the memory nor the log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "services/locks.h"

namespace pw::office {

inline constexpr std::size_t kMaxStationNameBytes = 255;
inline constexpr std::size_t kMaxStations = 4096;
// Entries a lookup writes to the log; the rest are counted.
inline constexpr std::size_t kStationsListedPerLookup = 20;

// A name as the registry keeps it: cut to kMaxStationNameBytes.
std::string RegisteredName(std::string_view sent_name);

struct TStationEntry {
  std::string Name;  // as the station sent it in its handshake (cut), possibly empty
  std::string IP;    // peer address, dotted
};

// Threads: AddStation and FindNameByIP take RegistryLock themselves and may
// be called from any thread; GetListText takes none, so its caller holds
// RegistryLock. Log lines go to the log file only, never to a window, so no
// call here waits for the main thread while the lock is held. Names in log
// lines and list texts have their control bytes made visible.
class Tconnections {
 public:
  Tconnections() = default;
  Tconnections(const Tconnections&) = delete;
  Tconnections& operator=(const Tconnections&) = delete;

  // Cuts name to kMaxStationNameBytes, then appends (name, ip) unless exactly
  // that pair is registered already, which is logged as
  // "Уже есть IP в списке АЗС:" + name + " IP:" + ip. A full registry drops its
  // oldest entry for the new pair; the first time is logged as "Список АЗС
  // заполнен, старые АЗС удаляются из списка, IP: " + ip, later ones are not.
  void AddStation(const std::string& name, const std::string& ip) LOCKS_EXCLUDED(registry_lock);

  // The name of the oldest entry with this address, "" when none. Logs the
  // outcome and then the list (its first kStationsListedPerLookup entries),
  // two lines to the file per call.
  std::string FindNameByIP(const std::string& ip) LOCKS_EXCLUDED(registry_lock);

  // "Нет подключенных АЗС" with no entries; otherwise one line per entry,
  // "00:   АЗС: " + name + " (IP: " + ip + ")" CR LF, numbered from 00
  // with at least two digits. Caller holds RegistryLock.
  std::string GetListText() const EXCLUSIVE_LOCKS_REQUIRED(registry_lock);

 private:
  // GetListText's lines for the first `shown` entries, then, when more
  // remain, "... и еще " + their count + CR LF.
  std::string ListLines(std::size_t shown) const EXCLUSIVE_LOCKS_REQUIRED(registry_lock);
  // Drops Entries[0] and renumbers the index.
  void DropOldest() EXCLUSIVE_LOCKS_REQUIRED(registry_lock);

  std::vector<TStationEntry> Entries GUARDED_BY(registry_lock);  // in registration order
  // Positions in Entries by address, oldest first.
  std::unordered_map<std::string, std::vector<std::size_t>> by_ip_ GUARDED_BY(registry_lock);
  bool full_logged_ GUARDED_BY(registry_lock) = false;
};

}  // namespace pw::office
