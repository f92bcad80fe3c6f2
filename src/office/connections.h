// The office's registry of stations: every (name, address) pair that passed
// the password check of the office listener since the office window was
// made. Commands on incoming connections are attributed to a station by the
// connection's peer address through it. Entries are only ever appended.
#pragma once

#include <string>
#include <vector>

#include "services/locks.h"

namespace pw::office {

struct TStationEntry {
  std::string Name;  // as the station sent it in its handshake, possibly empty
  std::string IP;    // peer address, dotted
};

// Threads: AddStation and FindNameByIP take RegistryLock themselves and may
// be called from any thread; GetListText takes none, so its caller holds
// RegistryLock. Log lines go to the log file only, never to a window, so no
// call here waits for the main thread while the lock is held.
class Tconnections {
 public:
  Tconnections() = default;
  Tconnections(const Tconnections&) = delete;
  Tconnections& operator=(const Tconnections&) = delete;

  // Appends (name, ip) unless exactly that pair is registered already, which
  // is logged as "Уже есть IP в списке АЗС:" + name + " IP:" + ip.
  void AddStation(const std::string& name, const std::string& ip) LOCKS_EXCLUDED(registry_lock);

  // The name of the oldest entry with this address, "" when none. Logs the
  // outcome and then the whole list, two lines to the file per call.
  std::string FindNameByIP(const std::string& ip) LOCKS_EXCLUDED(registry_lock);

  // "Нет подключенных АЗС" with no entries; otherwise one line per entry,
  // "00:   АЗС: " + name + " (IP: " + ip + ")" CR LF, numbered from 00
  // with at least two digits. Caller holds RegistryLock.
  std::string GetListText() const EXCLUSIVE_LOCKS_REQUIRED(registry_lock);

 private:
  std::vector<TStationEntry> Entries GUARDED_BY(registry_lock);  // in registration order
};

}  // namespace pw::office
