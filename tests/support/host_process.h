// A pumpwire-host running as a separate process, driven through its standard
// input and read through its standard output and error (one stream, in the
// order written), as an operator's script would.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace pw::test {

class HostProcess {
 public:
  // args follow the program name, e.g. {"station", "--root", dir}. A
  // max_open_files above 0 limits the process's file descriptors (ulimit -n).
  explicit HostProcess(const std::vector<std::string>& args, int max_open_files = 0);
  ~HostProcess();  // closes stdin, waits a bounded time, then kills
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  void Send(const std::string& command_line);
  // Waits for an output line containing text (UTF-8); returns it, or "" when
  // the time runs out or the process ends first.
  std::string WaitFor(const std::string& text,
                      std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Closes stdin and waits for the exit; the exit code, or -1 when killed
  // or not ended within limit (see signal()).
  int Finish(std::chrono::milliseconds limit = std::chrono::seconds(20));
  // The same with its input left open.
  int AwaitExit(std::chrono::milliseconds limit = std::chrono::seconds(20));
  // The operator's Ctrl-C (SIGTERM), where the OS can send one.
  void RequestStop() { child_.RequestStop(); }
  static bool CanRequestStop() { return platform::ChildProcess::kCanRequestStop; }
  // Every line printed so far.
  const std::vector<std::string>& lines() const { return lines_; }
  // The signal that ended the process, 0 when it exited or still runs.
  int signal() const { return child_.signal(); }
  // Whether max_open_files takes effect on this OS.
  static bool CanLimitOpenFiles() { return platform::ChildProcess::kCanLimitOpenFiles; }
  std::string Transcript() const;

 private:
  bool ReadMore(std::chrono::steady_clock::time_point deadline);

  platform::ChildProcess child_;
  std::string partial_;
  std::vector<std::string> lines_;
  std::size_t searched_ = 0;
};

}  // namespace pw::test
