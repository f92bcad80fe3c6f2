#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_error.h"
#include "text/cp1251.h"

extern char** environ;

namespace pw::platform {

const char kCommandInterpreter[] = "sh";

namespace {

// Closes the descriptor it holds when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

CommandResult RunCommand(const std::string& command, const std::string& argument) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) ThrowPosixError("pipe2", command, errno);
  Fd read_end(ends[0]), write_end(ends[1]);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, write_end.get(), 1);

  // "$1" keeps the argument one word whatever it holds.
  std::string script = text::utf8_from_cp1251(command) + " \"$1\"";
  std::string utf8_argument = text::utf8_from_cp1251(argument);
  std::string sh = "/bin/sh", dash_c = "-c", name = "sh";
  char* argv[] = {sh.data(), dash_c.data(), script.data(), name.data(), utf8_argument.data(),
                  nullptr};
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) ThrowPosixError("posix_spawn", command, spawned);
  write_end.Close();

  std::string output;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(read_end.get(), buf, sizeof buf);
    if (n > 0) output.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  CommandResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = text::cp1251_from_utf8(output);
  return result;
}

}  // namespace pw::platform
