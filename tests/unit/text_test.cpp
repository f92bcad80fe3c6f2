#include <gtest/gtest.h>

#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw {
namespace {

using text::cp1251_from_utf8;
using text::utf8_from_cp1251;

TEST(Cp1251, SourceLiteralsBecomeWindows1251Bytes) {
  EXPECT_EQ("АЗС"_w, std::string_view("\xC0\xC7\xD1"));
  EXPECT_EQ("Ёё №"_w, std::string_view("\xA8\xB8\x20\xB9"));
  EXPECT_EQ("1.02 от 11.11.2008"_w, std::string_view("1.02 \xEE\xF2 11.11.2008"));
  // NUL-terminated, so the bytes may be handed to C.
  EXPECT_EQ("ок"_w.data()["ок"_w.size()], '\0');
}

TEST(Cp1251, EveryByteRoundTripsThroughUtf8AndUtf16) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // the one byte the code page leaves unused
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(cp1251_from_utf8(utf8_from_cp1251(one)), one) << "byte " << b;
    EXPECT_EQ(text::cp1251_from_utf16(text::utf16_from_cp1251(one)), one) << "byte " << b;
  }
  EXPECT_EQ(text::utf16_from_cp1251("\xC0\xC7\xD1"), u"АЗС");
  EXPECT_EQ(text::cp1251_from_utf16(u"a中z"), "a?z");
}

TEST(Cp1251, TextOutsideTheCodePageBecomesQuestionMarks) {
  EXPECT_EQ(cp1251_from_utf8("a\xE4\xB8\xADz"), "a?z");  // a CJK letter
  EXPECT_EQ(cp1251_from_utf8("\xFF" "b"), "?b");         // not UTF-8 at all
  EXPECT_EQ(cp1251_from_utf8("\xD0"), "?");              // cut sequence
}

TEST(VisibleText, ControlBytesFromTheWireCannotStartALineOrActOnAScreen) {
  using namespace std::string_literals;
  EXPECT_EQ(text::VisibleText("AZS\r\n12.01.2026 - forged\0\x1B[2J\x7F"s),
            "AZS\\x0D\\x0A12.01.2026 - forged\\x00\\x1B[2J\\x7F");
  // Letters of the code page, blanks and backslashes pass as they are.
  EXPECT_EQ(text::VisibleText("АЗС №5 C:\\dir"_w), "АЗС №5 C:\\dir"_w);
}

}  // namespace
}  // namespace pw
