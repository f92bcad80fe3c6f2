// A connection window's on-screen log as tests read it.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dispatcher.h"
#include "ui/window.h"

namespace pw::test {

// The list's lines without their "hh:nn:ss  " stamps.
inline std::vector<std::string> LogLines(const ui::ListBox& log) {
  std::vector<std::string> out;
  for (const std::string& item : log.items) out.push_back(item.substr(10));
  return out;
}

// How many of its lines are exactly line.
inline int CountLine(const ui::ListBox& log, std::string_view line) {
  int n = 0;
  for (const std::string& l : LogLines(log)) n += l == line;
  return n;
}

// Main thread: pumps until line has been logged `times` times; false when
// limit ran out first.
inline bool WaitForLine(const ui::ListBox& log, std::string_view line, int times,
                        std::chrono::milliseconds limit) {
  return ui::Dispatcher::instance().run_until([&] { return CountLine(log, line) >= times; }, limit);
}

}  // namespace pw::test
