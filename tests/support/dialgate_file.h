// The file name under which the plug-in loads the connection library on
// this OS, for tests that put the fake one in its place.
#pragma once

#include <string>

#include "platform/dynamic_library.h"

namespace pw::test {

inline std::string DialgateFile() { return std::string("Dialgate") + platform::kSharedLibrarySuffix; }

}  // namespace pw::test
