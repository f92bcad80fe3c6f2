#include "platform/win32/win32_error.h"

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

void ThrowWin32Error(const std::string& call, const std::string& subject, unsigned long err) {
  std::string text = call;
  if (!subject.empty()) text += " " + subject;
  text += ": " + Win32ErrorText(err);
  throw Error(text);
}

void ThrowLastError(const std::string& call, const std::string& subject) {
  ThrowWin32Error(call, subject, ::GetLastError());
}

}  // namespace pw::platform
