// The message history: LogFiles/MessageHistory.log, one line per message sent
// or notice shown, in the event log's line format and with its rotation.
#pragma once

#include <string>
#include <string_view>

#include "services/locks.h"

namespace pw::interactive {

// Appends LongTimeStamp + " - " + text + CR LF under the log lock (so history
// and event log writes never interleave), then sets the file aside as the
// event log is (its name + the short date, then a counter: SetAsideName)
// when it has grown past 1048576 bytes; at exactly the limit it stays. The
// text is written byte for byte. Any thread. A file error is raised to the
// caller after the lock is released.
void AppendHistory(std::string_view text) LOCKS_EXCLUDED(log_lock);

// The whole history file as it stands between two appends; "" when there is
// none. Any thread. Raises pw::Error when an existing file cannot be read.
std::string ReadHistory() LOCKS_EXCLUDED(log_lock);

}  // namespace pw::interactive
