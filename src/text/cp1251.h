// Windows-1251 is the one encoding of every text that reaches the wire or a
// file. The system's own texts are written in UTF-8 in the source and become
// Windows-1251 bytes here, at compile time, through the _w literal:
//
//     AddToLog("Исходящее подключение установленно"_w, list);
//
// Texts from outside (a command line, a file name on disk) go through the
// run-time pair below. Nothing else converts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pw::text {

// Unicode code points of bytes 0x80..0xFF; 0 marks the one unused byte (0x98).
inline constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

inline constexpr char kUnmappable = '?';

// Windows-1251 byte for a code point, or '?' when the code page has none.
constexpr char cp1251_byte(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
  for (std::size_t i = 0; i < kCp1251High.size(); ++i)
    if (kCp1251High[i] != 0 && kCp1251High[i] == cp) return static_cast<char>(0x80 + i);
  return kUnmappable;
}

// Decodes one UTF-8 sequence at s[i], advancing i. Malformed input yields
// U+FFFD and consumes one byte, so a bad byte never swallows good text.
constexpr char32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  const int extra = b0 < 0x80 ? 0
                    : (b0 & 0xE0) == 0xC0 ? 1
                    : (b0 & 0xF0) == 0xE0 ? 2
                    : (b0 & 0xF8) == 0xF0 ? 3
                                          : -1;
  if (extra == 0) { ++i; return b0; }
  if (extra < 0 || i + extra >= s.size()) { ++i; return 0xFFFD; }
  char32_t cp = b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) { ++i; return 0xFFFD; }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += extra + 1;
  return cp;
}

constexpr std::size_t cp1251_length(std::string_view utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size(); ++n) next_code_point(utf8, i);
  return n;
}

// Run-time conversions, for texts that come from outside the system.
// Whether two Windows-1251 texts are equal when letter case is ignored
// (Latin and Cyrillic letters alike), as the system compares names.
bool same_ignoring_case(std::string_view a, std::string_view b);
// The lower-case twin of a Windows-1251 letter; any other byte as it is.
char lower_case(char c);

std::string cp1251_from_utf8(std::string_view utf8);
std::string utf8_from_cp1251(std::string_view cp1251);
// UTF-16, the encoding of the Windows wide-character calls (every byte of the
// code page is one UTF-16 unit; 0x98 becomes U+FFFD, unmappable units '?').
std::u16string utf16_from_cp1251(std::string_view cp1251);
std::string cp1251_from_utf16(std::u16string_view utf16);

// Compile-time conversion of the system's own texts.
template <std::size_t N>
struct Utf8Literal {
  char chars[N]{};
  constexpr Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

template <Utf8Literal S>
struct Cp1251Literal {
  static constexpr std::size_t size = cp1251_length(S.view());
  static constexpr auto bytes = [] {
    std::array<char, size + 1> out{};
    std::string_view in = S.view();
    std::size_t o = 0;
    for (std::size_t i = 0; i < in.size();) out[o++] = cp1251_byte(next_code_point(in, i));
    return out;
  }();
};

}  // namespace pw::text

namespace pw {
// "текст"_w: the Windows-1251 bytes of a UTF-8 source literal, as a view of
// static storage (NUL-terminated, so .data() may cross a C boundary).
template <text::Utf8Literal S>
constexpr std::string_view operator""_w() {
  return {text::Cp1251Literal<S>::bytes.data(), text::Cp1251Literal<S>::size};
}

// A Windows-1251 view as a string of its own, to join with other texts:
// Text("Ошибка: "_w) + e.what().
inline std::string Text(std::string_view cp1251) { return std::string(cp1251); }
}  // namespace pw
