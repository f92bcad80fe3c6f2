// Starting another program with standard handles of our choosing: the common
// ground of ChildProcess and RunCommand.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/scoped_handle.h"

namespace pw::platform {

// arg quoted for a command line so the program's C runtime parses it back
// as exactly one argument (a backslash doubles only before a quote).
std::wstring QuotedArgument(std::wstring_view arg);

// A pipe whose two ends this process holds, neither inheritable.
struct Pipe {
  ScopedHandle read;
  ScopedHandle write;
};
Pipe CreatePipeOrThrow(const std::string& subject);

// The program's standard handles; a null handle leaves that one closed. The
// error handle is passed on where it can be: one that cannot be copied (our
// own standard error may be anything) leaves the program's closed.
struct StandardHandles {
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
};

// Starts application (nullptr: the first word of command_line) with exactly
// the given handles inherited, no console window and no other handle of
// ours. Returns the process handle; raises pw::Error naming subject when it
// cannot be started.
ScopedHandle StartProcess(const wchar_t* application, std::wstring command_line,
                          const StandardHandles& handles, const std::string& subject);

}  // namespace pw::platform
