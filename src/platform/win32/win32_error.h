// The one place where a Windows error code becomes a pw::Error.
#pragma once

#include <string>

#include "platform/error.h"

namespace pw::platform {

// The system's text of err (GetLastError, WSAGetLastError), Windows-1251,
// without the trailing line break.
std::string Win32ErrorText(unsigned long err);

// Raises pw::Error "call subject: text". Its kind follows err where err
// tells one (a refused, timed-out or broken connection), else it is kind.
[[noreturn]] void ThrowWin32Error(const std::string& call, const std::string& subject,
                                  unsigned long err, ErrorKind kind = ErrorKind::kOther);

// The same with GetLastError().
[[noreturn]] void ThrowLastError(const std::string& call, const std::string& subject,
                                 ErrorKind kind = ErrorKind::kOther);

}  // namespace pw::platform
