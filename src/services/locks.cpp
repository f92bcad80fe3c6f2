#include "services/locks.h"

namespace pw {

// Namespace-scope, so they exist from library load to unload.
Mutex station_exchange_lock;
Mutex request_file_lock;
Mutex registry_lock;
Mutex last_station_name_lock;
Mutex log_lock;

}  // namespace pw
