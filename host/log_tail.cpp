#include "host/log_tail.h"

#include <exception>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "services/event_log.h"

namespace pw::host {

std::string WithoutStamp(const std::string& line) {
  constexpr std::size_t kStampAndDash = 27;
  const bool stamped = line.size() >= kStampAndDash && line.compare(23, 4, "  - ") == 0;
  return stamped ? line.substr(kStampAndDash) : line;
}

namespace {

// The set-aside made last today: the dated name, or the highest counter
// after it that exists (the plug-in numbers a day's later set-asides).
std::string NewestSetAside(const std::string& path) {
  const std::string dated = path + platform::ShortDateText(platform::Now());
  std::string newest = dated;
  for (int counter = 2; counter <= kSetAsidesPerDay; ++counter) {
    const std::string name = dated + "." + std::to_string(counter);
    if (!platform::FileExists(name)) break;
    newest = name;
  }
  return newest;
}

}  // namespace

LogTail::LogTail(std::string path) : path_(std::move(path)) {
  offset_ = platform::FileSize(path_).value_or(0);
  aside_ = NewestSetAside(path_);
  aside_size_ = platform::FileSize(aside_).value_or(0);
}

std::string LogTail::ReadFrom(const std::string& path, std::uint64_t offset) const {
  try {
    return platform::ReadFileFrom(path, offset);
  } catch (const Error&) {
    return {};
  }
}

std::vector<std::string> LogTail::PollTellingFailureOnce(
    const std::function<void(const std::string&)>& tell) {
  try {
    std::vector<std::string> lines = Poll();
    failure_.clear();
    return lines;
  } catch (const std::exception& e) {
    if (failure_ != e.what()) {
      failure_ = e.what();
      tell(failure_);
    }
    return {};
  }
}

std::vector<std::string> LogTail::Poll() {
  std::string fresh;
  const std::uint64_t size = platform::FileSize(path_).value_or(0);
  // Set aside since the last look: the file shrank, or the newest set-aside
  // is another file or has grown (the new file may already be longer than
  // the old one was). The old file is finished first.
  const std::string aside = NewestSetAside(path_);
  const std::uint64_t aside_size = platform::FileSize(aside).value_or(0);
  const bool aside_changed = aside_size > 0 && (aside != aside_ || aside_size != aside_size_);
  aside_ = aside;
  aside_size_ = aside_size;
  if (size < offset_ || aside_changed) {
    if (aside_size > 0) fresh = ReadFrom(aside, offset_);
    offset_ = 0;
  }
  if (size > offset_) {
    std::string more = ReadFrom(path_, offset_);
    offset_ += more.size();
    fresh += more;
  }
  return TakeLines(fresh);
}

std::vector<std::string> LogTail::TakeLines(const std::string& bytes) {
  partial_ += bytes;
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t lf; (lf = partial_.find('\n', start)) != std::string::npos; start = lf + 1) {
    std::size_t end = lf;
    if (end > start && partial_[end - 1] == '\r') --end;
    lines.push_back(partial_.substr(start, end - start));
  }
  partial_.erase(0, start);
  return lines;
}

}  // namespace pw::host
