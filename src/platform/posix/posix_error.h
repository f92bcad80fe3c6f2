// The one place where errno becomes a pw::Error.
#pragma once

#include <string>

#include "platform/error.h"

namespace pw::platform {

// The text names the call, its subject and the system's words for err; the
// kind follows err where err tells one (a refused, timed-out or broken
// connection), else it is kind.
[[noreturn]] void ThrowPosixError(const std::string& call, const std::string& subject, int err,
                                  ErrorKind kind = ErrorKind::kOther);

}  // namespace pw::platform
