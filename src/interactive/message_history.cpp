#include "interactive/message_history.h"

#include <mutex>

#include "platform/files.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "services/locks.h"

namespace pw::interactive {

void AppendHistory(std::string_view text) {
  const std::string path = CurrentFolders().history_file;
  MutexLock lock(LogLock());
  // Stamped inside the lock, so the lines stand in the order of their stamps.
  std::string line = LongTimeStamp() + " - ";
  line.append(text);
  line += "\r\n";
  AppendWithRotation(path, line);
}

std::string ReadHistory() {
  const std::string path = CurrentFolders().history_file;
  // Under the lock a reader never sees half a line, nor the file between
  // its append and its rotation.
  MutexLock lock(LogLock());
  if (!platform::FileExists(path)) return {};
  return platform::ReadWholeFile(path);
}

}  // namespace pw::interactive
