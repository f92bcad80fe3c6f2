#include "platform/child_process.h"

#include <winsock2.h>
#include <windows.h>
#include <process.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>

#include "platform/win32/process_start.h"
#include "platform/win32/wide_text.h"
#include "sync/mutex.h"

namespace pw::platform {

// Windows has no per-process limit of open handles to set.
const bool ChildProcess::kCanLimitOpenFiles = false;
const bool ChildProcess::kCanRequestStop = false;

namespace {

// An anonymous pipe cannot be waited on with a time limit, so a thread of
// ours blocks in ReadFile and hands what comes over here. Shared with that
// thread: it may outlive the ChildProcess while a program the child started
// still holds the pipe's other end.
struct OutputPipe {
  ScopedHandle read;  // closed with the last owner, never under the reader
  Mutex mu;
  std::condition_variable_any changed;
  std::string pending GUARDED_BY(mu);    // read, not yet taken
  bool ended GUARDED_BY(mu) = false;     // the reader has seen the end (or a failure) and left
  bool stopping GUARDED_BY(mu) = false;  // the owner has gone: the reader leaves
};

// As a pipe does on its own, a child whose output nobody takes waits once
// this much is unread.
constexpr std::size_t kMaxPending = 1 << 20;

unsigned __stdcall ReadOutputThread(void* param) {
  const std::unique_ptr<std::shared_ptr<OutputPipe>> shared(
      static_cast<std::shared_ptr<OutputPipe>*>(param));
  OutputPipe& pipe = **shared;
  char buf[4096];
  for (;;) {
    {
      MutexLock lock(pipe.mu);
      pipe.changed.wait(pipe.mu, [&] {
        pipe.mu.AssertHeld();  // the wait holds it while it asks
        return pipe.stopping || pipe.pending.size() < kMaxPending;
      });
      if (pipe.stopping) break;
    }
    DWORD n = 0;
    // Fails with ERROR_BROKEN_PIPE once every writer has closed its end, or
    // with ERROR_OPERATION_ABORTED when the owner cancels it.
    if (!::ReadFile(pipe.read.get(), buf, sizeof buf, &n, nullptr)) break;
    if (n == 0) continue;  // a writer's empty write, not the end
    MutexLock lock(pipe.mu);
    pipe.pending.append(buf, n);
    pipe.changed.notify_all();
  }
  MutexLock lock(pipe.mu);
  pipe.ended = true;
  pipe.changed.notify_all();
  return 0;
}

// The exit code that Kill gives: read back as -1, as for a killed process
// elsewhere.
constexpr UINT kKilledExitCode = static_cast<UINT>(-1);

}  // namespace

struct ChildProcess::Handles {
  ScopedHandle process;
  ScopedHandle input;
  std::shared_ptr<OutputPipe> output = std::make_shared<OutputPipe>();
  ScopedHandle reader;

  ~Handles() {
    if (!reader.valid()) return;
    {
      MutexLock lock(output->mu);
      output->stopping = true;
    }
    output->changed.notify_all();
    // The child has ended, so its output ends at once unless a program it
    // started holds the pipe: then the blocked read is cancelled, retried
    // for the case where the reader had not entered it yet. A reader that
    // still stays blocked keeps its share of the pipe and ends with it.
    for (int attempt = 0; attempt < 20 && ::WaitForSingleObject(reader.get(), 50) == WAIT_TIMEOUT;
         ++attempt)
      ::CancelSynchronousIo(reader.get());
  }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           int /*max_open_files: no such limit here*/)
    : handles_(std::make_unique<Handles>()) {
  const std::string subject = text::cp1251_from_utf8(program);
  Pipe to_child = CreatePipeOrThrow(subject);
  Pipe from_child = CreatePipeOrThrow(subject);

  std::wstring application = WideFromUtf8(program);
  std::replace(application.begin(), application.end(), L'/', L'\\');
  // The program's own name is parsed without escapes: quotes alone do.
  std::wstring command_line = L"\"" + application + L"\"";
  for (const std::string& arg : args) command_line += L" " + QuotedArgument(WideFromUtf8(arg));

  handles_->process = StartProcess(application.c_str(), std::move(command_line),
                                   {to_child.read.get(), from_child.write.get(),
                                    from_child.write.get()},
                                   subject);
  handles_->input = std::move(to_child.write);
  handles_->output->read = std::move(from_child.read);
  // Our copies of the child's ends close here: its output ends when it does.

  auto* shared = new std::shared_ptr<OutputPipe>(handles_->output);
  const auto thread = ::_beginthreadex(nullptr, 0, ReadOutputThread, shared, 0, nullptr);
  if (thread == 0) {
    const DWORD err = ::GetLastError();
    delete shared;
    ::TerminateProcess(handles_->process.get(), kKilledExitCode);
    ThrowWin32Error("_beginthreadex", subject, err);
  }
  handles_->reader.reset(reinterpret_cast<HANDLE>(thread));
}

ChildProcess::~ChildProcess() {
  if (!exited_) Kill();
}

bool ChildProcess::WriteInput(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!handles_->input.valid()) return false;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD n = 0;
    if (!::WriteFile(handles_->input.get(), bytes.data(), chunk, &n, nullptr) || n == 0)
      return false;
    bytes.remove_prefix(n);
  }
  return true;
}

void ChildProcess::CloseInput() { handles_->input.reset(); }

std::optional<std::string> ChildProcess::ReadOutput(int timeout_ms) {
  if (output_ended_) return std::string();
  OutputPipe& pipe = *handles_->output;
  MutexLock lock(pipe.mu);
  const auto ready = [&] {
    pipe.mu.AssertHeld();  // the wait holds it while it asks
    return !pipe.pending.empty() || pipe.ended;
  };
  if (timeout_ms < 0) pipe.changed.wait(pipe.mu, ready);
  else if (!pipe.changed.wait_for(pipe.mu, std::chrono::milliseconds(timeout_ms), ready))
    return std::nullopt;
  if (pipe.pending.empty()) {
    output_ended_ = true;
    return std::string();
  }
  std::string bytes;
  bytes.swap(pipe.pending);
  pipe.changed.notify_all();  // a reader waiting for room goes on
  return bytes;
}

bool ChildProcess::Wait(int timeout_ms) {
  if (exited_) return true;
  const DWORD limit = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (::WaitForSingleObject(handles_->process.get(), limit) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  ::GetExitCodeProcess(handles_->process.get(), &code);
  exited_ = true;
  exit_code_ = static_cast<int>(code);
  signal_ = 0;  // no signals here: a killed process has an exit code too
  return true;
}

// A console event cannot be aimed at one process without sharing its
// console: this ends it as Kill does.
void ChildProcess::RequestStop() { Kill(); }

void ChildProcess::Kill() {
  if (exited_) return;
  ::TerminateProcess(handles_->process.get(), kKilledExitCode);
  Wait(-1);
}

}  // namespace pw::platform
