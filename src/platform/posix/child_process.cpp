#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/posix_error.h"
#include "platform/posix/scoped_fd.h"

namespace pw::platform {

const bool ChildProcess::kCanLimitOpenFiles = true;
const bool ChildProcess::kCanRequestStop = true;

struct ChildProcess::Handles {
  pid_t pid = -1;
  ScopedFd input;
  ScopedFd output;
};

namespace {

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void BecomeProgram(int input, int output, int max_open_files, char** argv) {
  ::dup2(input, 0);
  ::dup2(output, 1);
  ::dup2(output, 2);
  if (max_open_files > 0) {
    const rlimit limit{static_cast<rlim_t>(max_open_files), static_cast<rlim_t>(max_open_files)};
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  ::execv(argv[0], argv);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           int max_open_files)
    : handles_(std::make_unique<Handles>()) {
  int to_child[2], from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) != 0) ThrowPosixError("pipe2", program, errno);
  ScopedFd child_input(to_child[0]);
  handles_->input.reset(to_child[1]);
  if (::pipe2(from_child, O_CLOEXEC) != 0) ThrowPosixError("pipe2", program, errno);
  handles_->output.reset(from_child[0]);
  ScopedFd child_output(from_child[1]);

  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  handles_->pid = ::fork();
  if (handles_->pid < 0) ThrowPosixError("fork", program, errno);
  if (handles_->pid == 0) BecomeProgram(child_input.get(), child_output.get(), max_open_files,
                                        argv.data());
}

ChildProcess::~ChildProcess() {
  if (!exited_) Kill();
}

bool ChildProcess::WriteInput(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!handles_->input.valid()) return false;
    const ssize_t n = ::write(handles_->input.get(), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void ChildProcess::CloseInput() { handles_->input.reset(); }

std::optional<std::string> ChildProcess::ReadOutput(int timeout_ms) {
  if (output_ended_) return std::string();
  pollfd p{handles_->output.get(), POLLIN, 0};
  const int ready = ::poll(&p, 1, timeout_ms < 0 ? -1 : timeout_ms);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return std::nullopt;
  char buf[4096];
  const ssize_t n = ::read(handles_->output.get(), buf, sizeof buf);
  if (n < 0 && errno == EINTR) return std::nullopt;
  if (n <= 0) {
    output_ended_ = true;
    return std::string();
  }
  return std::string(buf, static_cast<std::size_t>(n));
}

bool ChildProcess::Wait(int timeout_ms) {
  if (exited_) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    if (::waitpid(handles_->pid, &status, WNOHANG) == handles_->pid) {
      exited_ = true;
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      return true;
    }
    if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
    ::usleep(5000);  // no descriptor tells a child's end without a SIGCHLD handler
  }
}

void ChildProcess::RequestStop() {
  if (!exited_) ::kill(handles_->pid, SIGTERM);
}

void ChildProcess::Kill() {
  if (exited_) return;
  ::kill(handles_->pid, SIGKILL);
  Wait(-1);
}

}  // namespace pw::platform
