#include "host/log_tail.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"

namespace pw::host {

std::string WithoutStamp(const std::string& line) {
  constexpr std::size_t kStampAndDash = 27;
  const bool stamped = line.size() >= kStampAndDash && line.compare(23, 4, "  - ") == 0;
  return stamped ? line.substr(kStampAndDash) : line;
}

LogTail::LogTail(std::string path) : path_(std::move(path)) {
  offset_ = platform::FileSize(path_).value_or(0);
}

std::string LogTail::ReadFrom(const std::string& path, std::uint64_t offset) const {
  try {
    return platform::ReadFileFrom(path, offset);
  } catch (const Error&) {
    return {};
  }
}

std::vector<std::string> LogTail::Poll() {
  std::string fresh;
  const std::uint64_t size = platform::FileSize(path_).value_or(0);
  if (size < offset_) {
    // Set aside since the last look: finish the old file first.
    fresh = ReadFrom(path_ + platform::ShortDateText(platform::Now()), offset_);
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
