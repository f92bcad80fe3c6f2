// Another program, started with its standard input and output piped to
// this process: how the tests and the benchmarks drive a pumpwire-host as an
// operator's script would.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw::platform {

class ChildProcess {
 public:
  // Whether this OS can limit a child's open files (see the constructor).
  static const bool kCanLimitOpenFiles;

  // Starts program (a path, UTF-8) with args. Its standard output and error
  // come to us as one stream, in the order written; its standard input is
  // ours to write. A max_open_files above 0 limits the files and sockets it
  // may hold (ulimit -n); where the OS cannot, it is ignored. Raises
  // pw::Error when the program cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               int max_open_files = 0);
  // Kills the child when it still runs and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Writes every byte to its input; false when it no longer reads.
  bool WriteInput(std::string_view bytes);
  // Closes its input: it reads the end of its input.
  void CloseInput();

  // What it has written since the last call, waiting up to timeout_ms
  // (negative: without limit) for something to come. "" with OutputEnded() true:
  // its output is closed; nothing: the time ran out.
  std::optional<std::string> ReadOutput(int timeout_ms);
  bool OutputEnded() const { return output_ended_; }

  // Waits up to timeout_ms for it to end; true when it has.
  bool Wait(int timeout_ms);
  // Ends it at once (SIGKILL, TerminateProcess) and waits.
  void Kill();
  // Asks it to stop as the operator's Ctrl-C would (SIGTERM), where the OS
  // lets one process do that to another (not on Windows: there it kills).
  static const bool kCanRequestStop;
  void RequestStop();

  // Once ended: its exit code (-1 when a signal ended it), and the signal
  // (0 when it exited).
  int exit_code() const { return exit_code_; }
  int signal() const { return signal_; }

 private:
  struct Handles;  // the process and the pipes, as the backend keeps them
  std::unique_ptr<Handles> handles_;
  bool output_ended_ = false;
  bool exited_ = false;
  int exit_code_ = -1;
  int signal_ = 0;
};

}  // namespace pw::platform
