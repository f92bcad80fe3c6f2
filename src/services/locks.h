// The process-wide locks, created when the library is loaded. Order: the
// station exchange lock and the request-file lock are outermost; the
// registry lock may be taken inside the request-file lock; the log lock is
// innermost and never held while another is taken. The LastStationName lock
// guards one value and is held for nothing else.
#pragma once

#include <mutex>

namespace pw {

std::mutex& LogLock();             // the event log and the message history files
std::mutex& RegistryLock();        // the office's station registry
std::mutex& RequestFileLock();     // the office serves TRY_GET_ZAPROS one station at a time
std::mutex& StationExchangeLock(); // station report exchanges run one after another
std::mutex& LastStationNameLock(); // the office's LastStationName

}  // namespace pw
