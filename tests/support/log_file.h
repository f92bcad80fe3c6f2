// The log file as tests read it: some lines (refusals, connections closed
// to make room) go to the file only, and the file has no signal to wait on.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "temp_folder.h"

namespace pw::test {

// How many times the file at path holds text; polls until that is at least
// times or limit runs out.
inline int CountInFile(const std::string& path, std::string_view text, int times,
                       std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const std::string bytes = ReadFile(path);
    int n = 0;
    for (auto at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1)) ++n;
    if (n >= times || std::chrono::steady_clock::now() > until) return n;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace pw::test
