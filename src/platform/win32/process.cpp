#include "platform/process.h"

#include <winsock2.h>
#include <windows.h>

#include "platform/win32/process_start.h"
#include "platform/win32/wide_text.h"

namespace pw::platform {

const char kCommandInterpreter[] = "cmd";

namespace {

// The command interpreter: %ComSpec%, as the system itself starts it.
std::wstring CommandInterpreter() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = ::GetEnvironmentVariableW(L"ComSpec", buf, MAX_PATH + 1);
  if (n > 0 && n <= MAX_PATH) return std::wstring(buf, n);
  const UINT m = ::GetSystemDirectoryW(buf, MAX_PATH + 1);
  return m > 0 && m <= MAX_PATH ? std::wstring(buf, m) + L"\\cmd.exe" : L"cmd.exe";
}

}  // namespace

CommandResult RunCommand(const std::string& command, const std::string& argument) {
  // With /s, cmd takes everything between the outer quotes as it stands, so
  // a quoted program name in command survives; the argument is quoted by the
  // rules the started program parses it back with. /d: no AutoRun commands.
  const std::wstring interpreter = CommandInterpreter();
  std::wstring command_line = L"\"" + interpreter + L"\" /d /s /c \"" + Wide(command) + L" " +
                              QuotedArgument(Wide(argument)) + L"\"";

  ScopedHandle nothing(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  if (!nothing.valid()) ThrowLastError("CreateFile NUL", command);
  Pipe output = CreatePipeOrThrow(command);
  // Our standard error, where there is one (a program without a console
  // has none: then the command's goes nowhere).
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);

  ScopedHandle process = StartProcess(interpreter.c_str(), std::move(command_line),
                                      {nothing.get(), output.write.get(), error}, command);
  output.write.reset();  // the command's copy alone keeps the pipe open now

  std::string bytes;
  char buf[4096];
  DWORD n = 0;
  // ReadFile fails with ERROR_BROKEN_PIPE at the end of the output.
  while (::ReadFile(output.read.get(), buf, sizeof buf, &n, nullptr)) bytes.append(buf, n);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);

  CommandResult result;
  result.exit_code = static_cast<int>(code);
  // Programs write the system's ANSI code page to a pipe: Windows-1251 at a
  // station, as it stands.
  result.output = std::move(bytes);
  return result;
}

}  // namespace pw::platform
