// A pumpwire-host run by a benchmark as a process of its own: commands go to
// its standard input, its output (standard output and error) is read line
// by line on a thread of its own, kept in a transcript file, and watched.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "sync/mutex.h"

namespace pw::bench {

using Clock = std::chrono::steady_clock;

// What /proc/PID/status says of a process.
struct ProcStatus {
  long rss_kib = 0;
  long hwm_kib = 0;  // peak RSS
  long anon_kib = 0;  // of the RSS: the heap, stacks and other private pages
  long file_kib = 0;  // of the RSS: mapped files (the program and its libraries)
  long threads = 0;
};
ProcStatus ReadStatus(pid_t pid);

class HostChild {
 public:
  // Told every output line on the reading thread, as it comes.
  using LineFn = std::function<void(const std::string& line)>;

  // args follow the program's name ("office", "--root", DIR, ...).
  HostChild(const std::vector<std::string>& args, const std::string& transcript,
            LineFn on_line = {});
  ~HostChild();  // Quit
  HostChild(const HostChild&) = delete;
  HostChild& operator=(const HostChild&) = delete;

  pid_t pid() const { return pid_; }

  // One command line.
  void Send(const std::string& command);

  // Waits until a line holding text comes after the first `after` lines;
  // returns when it came, or nothing when limit passed or the host ended
  // first. Lines longer than 4 KiB are not kept for this.
  struct Seen {
    bool found = false;
    Clock::time_point when;
  };
  Seen WaitFor(const std::string& text, std::chrono::seconds limit, std::size_t after = 0);
  // How many lines were kept so far (an `after` for the next WaitFor).
  std::size_t LinesKept();

  // "quit", then waits for the exit; killed when it has not ended in 30 s.
  void Quit();

 private:
  void Read(int fd);

  pid_t pid_ = -1;
  int in_ = -1;
  LineFn on_line_;
  std::ofstream transcript_;  // reading thread only
  Mutex mu_;
  std::condition_variable_any cv_;
  std::vector<std::pair<Clock::time_point, std::string>> lines_ GUARDED_BY(mu_);
  bool ended_ GUARDED_BY(mu_) = false;
  std::thread reader_;
};

}  // namespace pw::bench
