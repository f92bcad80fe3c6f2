#include "text/cp1251.h"

namespace pw::text {

namespace {

// Lower-case twin of every Windows-1251 byte: ASCII letters and the Cyrillic
// capitals (А..Я, Ё and the other Slavic letters), derived from the code page
// table so no pair is typed by hand.
constexpr std::array<unsigned char, 256> kFold = [] {
  std::array<unsigned char, 256> fold{};
  for (int b = 0; b < 256; ++b) fold[b] = static_cast<unsigned char>(b);
  for (int b = 'A'; b <= 'Z'; ++b) fold[b] = static_cast<unsigned char>(b + ('a' - 'A'));
  for (int b = 0x80; b < 0x100; ++b) {
    const char32_t cp = kCp1251High[b - 0x80];
    char32_t lower = 0;
    if (cp >= 0x0400 && cp <= 0x040F) lower = cp + 0x50;
    else if (cp >= 0x0410 && cp <= 0x042F) lower = cp + 0x20;
    else if (cp == 0x0490) lower = 0x0491;
    if (lower != 0) fold[b] = static_cast<unsigned char>(cp1251_byte(lower));
  }
  return fold;
}();

}  // namespace

char lower_case(char c) { return static_cast<char>(kFold[static_cast<unsigned char>(c)]); }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (kFold[static_cast<unsigned char>(a[i])] != kFold[static_cast<unsigned char>(b[i])])
      return false;
  return true;
}

std::string cp1251_from_utf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) out += cp1251_byte(next_code_point(utf8, i));
  return out;
}

static void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

static char16_t utf16_unit(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b < 0x80) return b;
  const char16_t cp = kCp1251High[b - 0x80];
  return cp != 0 ? cp : char16_t{0xFFFD};
}

std::u16string utf16_from_cp1251(std::string_view cp1251) {
  std::u16string out;
  out.reserve(cp1251.size());
  for (char c : cp1251) out += utf16_unit(c);
  return out;
}

std::string cp1251_from_utf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (char16_t unit : utf16) out += cp1251_byte(unit);  // a surrogate maps to '?'
  return out;
}

std::string utf8_from_cp1251(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (char c : cp1251) {
    append_utf8(out, utf16_unit(c));
  }
  return out;
}

}  // namespace pw::text
