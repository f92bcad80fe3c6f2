#include <algorithm>

#include "platform/environment.h"

namespace pw::platform {

// The arguments are the bytes the caller gave, UTF-8 on every system we run on.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

}  // namespace pw::platform
