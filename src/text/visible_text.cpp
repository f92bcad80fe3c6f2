#include "text/visible_text.h"

namespace pw::text {

std::string VisibleText(std::string_view wire_text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(wire_text.size());
  for (const char c : wire_text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
      continue;
    }
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

}  // namespace pw::text
