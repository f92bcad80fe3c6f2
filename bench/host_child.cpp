#include "host_child.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace pw::bench {

ProcStatus ReadStatus(pid_t pid) {
  ProcStatus s;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    long value = 0;
    fields >> key >> value;
    if (key == "VmRSS:") s.rss_kib = value;
    else if (key == "VmHWM:") s.hwm_kib = value;
    else if (key == "RssAnon:") s.anon_kib = value;
    else if (key == "RssFile:") s.file_kib = value;
    else if (key == "Threads:") s.threads = value;
  }
  return s;
}

HostChild::HostChild(const std::vector<std::string>& args, const std::string& transcript,
                     LineFn on_line)
    : on_line_(std::move(on_line)), transcript_(transcript) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) std::exit(1);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    std::vector<const char*> argv = {PUMPWIRE_HOST_PROGRAM};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  reader_ = std::thread([this, fd = out[0]] { Read(fd); });
}

HostChild::~HostChild() {
  Quit();
  reader_.join();
}

void HostChild::Send(const std::string& command) {
  const std::string line = command + "\n";
  if (in_ < 0 || write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    std::fprintf(stderr, "the host did not take: %s\n", command.c_str());
}

HostChild::Seen HostChild::WaitFor(const std::string& text, std::chrono::seconds limit,
                                   std::size_t after) {
  MutexLock lock(mu_);
  Seen seen;
  std::size_t next = after;
  cv_.wait_for(mu_, limit, [&] {
    mu_.AssertHeld();  // the wait holds it while it asks
    for (; next < lines_.size(); ++next)
      if (lines_[next].second.find(text) != std::string::npos) {
        seen = {true, lines_[next].first};
        return true;
      }
    return ended_;
  });
  return seen;
}

std::size_t HostChild::LinesKept() {
  MutexLock lock(mu_);
  return lines_.size();
}

void HostChild::Quit() {
  if (in_ < 0) return;
  Send("quit");
  close(in_);
  in_ = -1;
  for (int i = 0; i < 3000; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    usleep(10000);
  }
  std::fprintf(stderr, "the host did not end; killed\n");
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

void HostChild::Read(int fd) {
  std::string partial;
  char buf[65536];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
    partial.append(buf, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = partial.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = partial.substr(start, end - start);
      transcript_ << line << '\n';
      if (on_line_) on_line_(line);
      MutexLock lock(mu_);
      if (line.size() <= 4096) lines_.emplace_back(Clock::now(), line);
      cv_.notify_all();
    }
    partial.erase(0, start);
  }
  close(fd);
  MutexLock lock(mu_);
  ended_ = true;
  cv_.notify_all();
}

}  // namespace pw::bench
