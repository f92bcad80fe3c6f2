// The process-wide locks, which exist from library load to unload. Order
// (checked by clang's -Wthread-safety-beta): the station exchange lock and
// the request-file lock are outermost; the registry lock may be taken inside
// the request-file lock; the log lock is innermost and never held while
// another is taken. The LastStationName lock guards one value and is held
// for nothing else, so it needs no place in the order beyond coming before
// the log lock.
#pragma once

#include "sync/mutex.h"
#include "sync/thread_annotations.h"

namespace pw {

// Station report exchanges run one after another.
extern Mutex station_exchange_lock;
// The office serves TRY_GET_ZAPROS one station at a time.
extern Mutex request_file_lock;
// The office's station registry.
extern Mutex registry_lock ACQUIRED_AFTER(request_file_lock);
// The office's LastStationName.
extern Mutex last_station_name_lock;
// The event log and the message history files.
extern Mutex log_lock ACQUIRED_AFTER(station_exchange_lock, request_file_lock, registry_lock,
                                     last_station_name_lock);

inline Mutex& LogLock() LOCK_RETURNED(log_lock) { return log_lock; }
inline Mutex& RegistryLock() LOCK_RETURNED(registry_lock) { return registry_lock; }
inline Mutex& RequestFileLock() LOCK_RETURNED(request_file_lock) { return request_file_lock; }
inline Mutex& StationExchangeLock() LOCK_RETURNED(station_exchange_lock) {
  return station_exchange_lock;
}
inline Mutex& LastStationNameLock() LOCK_RETURNED(last_station_name_lock) {
  return last_station_name_lock;
}

}  // namespace pw
