// What pumpwire-host prints of the interactive exchange as it happens: the
// message window's notice whenever its caption, text or visibility changes,
// and every new line of the message history.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/log_tail.h"

namespace pw::host {

class MessageWatch {
 public:
  // history_path: LogFiles/MessageHistory.log (Windows-1251); lines already
  // in it are not new.
  explicit MessageWatch(std::string history_path);

  // Main thread; cheap enough to ask after every task of the main thread,
  // so that two notices in a row are both seen.
  bool NoticeChanged() const;
  // Main thread. The notice as a UTF-8 line when it changed since the last
  // call, once:
  //   message: "CAPTION" | TEXT   the notice now shown (line breaks as \r \n)
  //   message: hidden             the operator closed it
  std::optional<std::string> TakeNotice();
  // The history's new lines as "history: TEXT" (UTF-8, without the time
  // stamp). Raises pw::Error when the file cannot be looked at now; nothing
  // is lost, the next call goes on from the same place.
  std::vector<std::string> TakeHistory();

 private:
  LogTail history_;
  std::string shown_;  // the last notice line taken
};

}  // namespace pw::host
