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

}  // namespace pw::platform
