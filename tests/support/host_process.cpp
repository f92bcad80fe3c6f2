#include "host_process.h"

#include <stdexcept>

namespace pw::test {

HostProcess::HostProcess(const std::vector<std::string>& args, int max_open_files)
    : child_(PUMPWIRE_HOST_PATH, args, max_open_files) {}

HostProcess::~HostProcess() {
  if (!child_.Wait(0) && Finish(std::chrono::seconds(10)) == -1) child_.Kill();
}

void HostProcess::Send(const std::string& command_line) {
  if (!child_.WriteInput(command_line + "\n")) throw std::runtime_error("cannot write to the host");
}

bool HostProcess::ReadMore(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  const std::optional<std::string> bytes = child_.ReadOutput(static_cast<int>(left.count()));
  if (!bytes || bytes->empty()) return false;
  partial_ += *bytes;
  for (std::size_t lf; (lf = partial_.find('\n')) != std::string::npos;) {
    std::string line = partial_.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows console's line end
    lines_.push_back(std::move(line));
    partial_.erase(0, lf + 1);
  }
  return true;
}

std::string HostProcess::WaitFor(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    for (; searched_ < lines_.size(); ++searched_)
      if (lines_[searched_].find(text) != std::string::npos) return lines_[searched_++];
    if (!ReadMore(deadline)) return {};
  }
}

int HostProcess::Finish(std::chrono::milliseconds limit) {
  child_.CloseInput();
  return AwaitExit(limit);
}

int HostProcess::AwaitExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ReadMore(deadline)) {
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (!child_.Wait(std::max<int>(0, static_cast<int>(left.count())))) return -1;
  return child_.exit_code();
}

std::string HostProcess::Transcript() const {
  std::string all;
  for (const auto& l : lines_) all += l + "\n";
  return all;
}

}  // namespace pw::test
