#include "platform/posix/posix_error.h"

#include <cerrno>
#include <cstring>

#include "text/cp1251.h"

namespace pw::platform {

namespace {

ErrorKind KindOfErrno(int err, ErrorKind otherwise) {
  switch (err) {
    case ECONNREFUSED:
      return ErrorKind::kRefused;
    case ETIMEDOUT:
      return ErrorKind::kTimeout;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
      return ErrorKind::kClosed;
    default:
      return otherwise;
  }
}

}  // namespace

void ThrowPosixError(const std::string& call, const std::string& subject, int err, ErrorKind kind) {
  std::string text = call;
  if (!subject.empty()) text += " " + subject;
  text += ": " + text::cp1251_from_utf8(std::strerror(err));
  throw Error(text, KindOfErrno(err, kind));
}

}  // namespace pw::platform
