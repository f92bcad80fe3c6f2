// The walk of injected faults over one exchange: count the file calls (or
// the bytes) of a clean run, then run it again once for every call failing
// (or every cut point) and look at what is left.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace pw::test {

inline constexpr std::array<platform::FileCall, platform::kFileCallKinds> kFileCalls = {
    platform::FileCall::kOpen, platform::FileCall::kWrite, platform::FileCall::kRename,
    platform::FileCall::kClose};

// Whether s begins / ends with the given text (log lines are matched so).
inline bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
inline bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

const char* CallName(platform::FileCall call);

// The OS's own words for the failure a plan injects into a call of this kind
// ("No space left on device"), learnt by injecting it once into a scratch
// file in folder.
std::string InjectedFailureText(platform::FileCall call, const std::string& folder);

// The names in folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

using FileCallCounts = std::array<std::uint64_t, platform::kFileCallKinds>;

// The calls of each kind that run() makes on paths under `under`.
FileCallCounts CountFileCalls(const std::string& under, const std::function<void()>& run);

// For every call counted: run() with that call failing, then check(call, n).
// Returns how many runs were made.
int WalkFileFaults(const std::string& under, const FileCallCounts& counts,
                   const std::function<void()>& run,
                   const std::function<void(platform::FileCall, std::uint64_t)>& check);

// Cut points over an exchange of `total` bytes whose bodies span
// [body_start, body_end) each: every byte outside the bodies, and in each
// body its first byte, its middle and its last. Walking every body byte
// would cost a run per byte for no new path through the code.
struct Span {
  std::int64_t start, end;
};
std::vector<std::int64_t> CutPoints(std::int64_t total, const std::vector<Span>& bodies);

}  // namespace pw::test
