#include "host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace pw::test {

HostProcess::HostProcess(const std::vector<std::string>& args, int max_open_files) {
  int to_child[2], from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(to_child[0], 0);
    ::dup2(from_child[1], 1);
    ::dup2(from_child[1], 2);
    if (max_open_files > 0) {
      const rlimit limit{static_cast<rlim_t>(max_open_files), static_cast<rlim_t>(max_open_files)};
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<char*> argv;
    std::string program = PUMPWIRE_HOST_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  in_ = to_child[1];
  out_ = from_child[0];
}

HostProcess::~HostProcess() {
  if (!exited_ && Finish(std::chrono::seconds(10)) == -1 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
}

void HostProcess::Send(const std::string& command_line) {
  const std::string line = command_line + "\n";
  if (in_ < 0 || ::write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    throw std::runtime_error("cannot write to the host");
}

bool HostProcess::ReadMore(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
  char buf[4096];
  const ssize_t n = ::read(out_, buf, sizeof buf);
  if (n <= 0) return false;
  partial_.append(buf, static_cast<std::size_t>(n));
  for (std::size_t lf; (lf = partial_.find('\n')) != std::string::npos;) {
    lines_.push_back(partial_.substr(0, lf));
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
  if (exited_) return exit_code_;
  if (in_ >= 0) {
    ::close(in_);
    in_ = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ReadMore(deadline)) {
  }
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      return exit_code_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    ::usleep(10000);  // the exit follows the closed output within moments
  }
}

std::string HostProcess::Transcript() const {
  std::string all;
  for (const auto& l : lines_) all += l + "\n";
  return all;
}

}  // namespace pw::test
