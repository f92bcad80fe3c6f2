// The one error type of the system. Its text is Windows-1251, ready to be
// written to the log behind the catcher's fixed prefix.
#pragma once

#include <stdexcept>
#include <string>

namespace pw {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace pw
