#include "platform/posix/posix_error.h"

#include <cstring>

#include "text/cp1251.h"

namespace pw::platform {

void ThrowPosixError(const std::string& call, const std::string& subject, int err) {
  std::string text = call;
  if (!subject.empty()) text += " " + subject;
  text += ": " + text::cp1251_from_utf8(std::strerror(err));
  throw Error(text);
}

}  // namespace pw::platform
