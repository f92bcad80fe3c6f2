#include "platform/win32/win32_error.h"

#include <winsock2.h>
#include <windows.h>

#include "platform/win32/wide_text.h"

namespace pw::platform {

std::string Win32ErrorText(unsigned long err) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n != 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.pop_back();
  if (text.empty()) return "error " + std::to_string(err);
  return Narrow(text);
}

namespace {

ErrorKind KindOfWin32Error(unsigned long err, ErrorKind otherwise) {
  switch (err) {
    case WSAECONNREFUSED:
      return ErrorKind::kRefused;
    case WSAETIMEDOUT:
      return ErrorKind::kTimeout;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
      return ErrorKind::kClosed;
    default:
      return otherwise;
  }
}

}  // namespace

void ThrowWin32Error(const std::string& call, const std::string& subject, unsigned long err,
                     ErrorKind kind) {
  std::string text = call;
  if (!subject.empty()) text += " " + subject;
  text += ": " + Win32ErrorText(err);
  throw Error(text, KindOfWin32Error(err, kind));
}

void ThrowLastError(const std::string& call, const std::string& subject, ErrorKind kind) {
  ThrowWin32Error(call, subject, ::GetLastError(), kind);
}

}  // namespace pw::platform
