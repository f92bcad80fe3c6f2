// The one error type of the system. Its text is Windows-1251, ready to be
// written to the log behind the catcher's fixed prefix; its kind says what
// failed, so that a caller decides on the kind and never on the text (which
// the OS words, and words differently on each system).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace pw {

enum class ErrorKind {
  kOther,     // none of the below
  kTimeout,   // a time limit passed: a read, a connect, a dial
  kClosed,    // the connection is closed: by the peer, reset, or by this end
  kRefused,   // the peer refused the connection
  kFile,      // a file or folder could not be read, written, made or renamed
  kHost,      // the host application's service failed or is missing
  kSettings,  // the settings store (cnf.INI) could not be read or written
};

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text, ErrorKind kind = ErrorKind::kOther)
      : std::runtime_error(text), kind_(kind) {}
  ErrorKind kind() const noexcept { return kind_; }

 private:
  ErrorKind kind_;
};

// The kind of any error: kOther for one that is no pw::Error.
inline ErrorKind KindOf(const std::exception& e) noexcept {
  const auto* error = dynamic_cast<const Error*>(&e);
  return error != nullptr ? error->kind() : ErrorKind::kOther;
}

}  // namespace pw
