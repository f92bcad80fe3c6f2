#include "services/locks.h"

namespace pw {

namespace {
// Namespace-scope, so they exist from library load to unload.
std::mutex log_lock;
std::mutex registry_lock;
std::mutex request_file_lock;
std::mutex station_exchange_lock;
std::mutex last_station_name_lock;
}  // namespace

std::mutex& LogLock() { return log_lock; }
std::mutex& RegistryLock() { return registry_lock; }
std::mutex& RequestFileLock() { return request_file_lock; }
std::mutex& StationExchangeLock() { return station_exchange_lock; }
std::mutex& LastStationNameLock() { return last_station_name_lock; }

}  // namespace pw
