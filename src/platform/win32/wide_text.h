// Windows-1251 text to and from the wide characters of the W calls. The
// system's texts stay Windows-1251; they become wide only at the call.
#pragma once

#include <string>
#include <string_view>

#include "text/cp1251.h"

namespace pw::platform {

inline std::wstring Wide(std::string_view cp1251) {
  const std::u16string utf16 = text::utf16_from_cp1251(cp1251);
  return std::wstring(utf16.begin(), utf16.end());
}

inline std::string Narrow(std::wstring_view wide) {
  return text::cp1251_from_utf16(std::u16string(wide.begin(), wide.end()));
}

// The few texts that come as UTF-8 (a program's path and arguments, the
// environment's names and values) keep every character, not only the code
// page's; characters beyond U+FFFF become surrogate pairs.
inline std::wstring WideFromUtf8(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = text::next_code_point(utf8, i);
    if (cp < 0x10000) {
      out += static_cast<wchar_t>(cp);
    } else {
      out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

}  // namespace pw::platform
