// What pumpwire-host prints of the interactive exchange as it happens: the
// message window's notice whenever its caption, text or visibility changes,
// and every new line of the message history.
#pragma once

#include <string>
#include <vector>

#include "host/log_tail.h"

namespace pw::host {

class MessageWatch {
 public:
  // history_path: LogFiles/MessageHistory.log (Windows-1251); lines already
  // in it are not new.
  explicit MessageWatch(std::string history_path);

  // Main thread. UTF-8 lines, oldest first:
  //   message: "CAPTION" | TEXT   the notice now shown (line breaks as \r \n)
  //   message: hidden             the operator closed it
  //   history: TEXT               a new history line, without its time stamp
  // Raises pw::Error when the history cannot be looked at now; nothing is
  // lost, the next call goes on from the same place.
  std::vector<std::string> Poll();

 private:
  LogTail history_;
  std::string shown_;  // the last "message:" line printed
};

}  // namespace pw::host
