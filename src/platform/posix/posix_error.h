// The one place where errno becomes a pw::Error.
#pragma once

#include <string>

#include "platform/error.h"

namespace pw::platform {

[[noreturn]] void ThrowPosixError(const std::string& call, const std::string& subject, int err);

}  // namespace pw::platform
