// Names from the wire reduced to plain file names.
#include <gtest/gtest.h>

#include "services/safe_file_name.h"

namespace pw {
namespace {

TEST(SafeFileNameTest, PlainNamesPassAsTheyAre) {
  EXPECT_EQ(SafeFileName("otchet_12.dat"), "otchet_12.dat");
  EXPECT_EQ(SafeFileName("\xC0\xC7\xD1 5.dat"), "\xC0\xC7\xD1 5.dat");  // Windows-1251 letters kept
  EXPECT_EQ(SafeFileName("a..b"), "a..b");
  EXPECT_EQ(SafeFileName("console.txt"), "console.txt");
  EXPECT_EQ(SafeFileName("COM0"), "COM0");
  EXPECT_EQ(SafeFileName(""), "");
}

TEST(SafeFileNameTest, SeparatorsPrefixesAndRefusedCharactersBecomeUnderscores) {
  EXPECT_EQ(SafeFileName("..\\..\\evil"), ".._.._evil");
  EXPECT_EQ(SafeFileName("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(SafeFileName("C:\\Windows\\x.dat"), "C__Windows_x.dat");
  EXPECT_EQ(SafeFileName("C:x.dat"), "C_x.dat");
  EXPECT_EQ(SafeFileName("\\\\server\\share\\x"), "__server_share_x");
  EXPECT_EQ(SafeFileName("a<b>c:d\"e|f?g*h"), "a_b_c_d_e_f_g_h");
  EXPECT_EQ(SafeFileName(std::string("a\r\nb\x01\x7F", 6)), "a__b__");
  EXPECT_EQ(SafeFileName(std::string("a\0b", 3)), "a_b");
  // Dots and blanks at the end, which Windows would drop.
  EXPECT_EQ(SafeFileName("report.txt."), "report.txt_");
  EXPECT_EQ(SafeFileName("report.txt "), "report.txt_");
  EXPECT_EQ(SafeFileName(" .. "), "____");
  EXPECT_EQ(SafeFileName(".. "), "___");
}

TEST(SafeFileNameTest, DotsAloneAndDeviceNamesAreRefused) {
  for (const char* name : {".", "..", "...", "CON", "con", "Nul", "PRN", "AUX", "COM1", "com9",
                           "LPT1", "lpt9", "NUL.txt", "CON .dat", "aux.tar.gz"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(SafeFileName(name), std::nullopt);
  }
}

// A received file under a temporary's name would be renamed over the
// temporary of a reception under way. Windows reads any letter case, and
// the short 8.3 names of the temporaries, as the same files.
TEST(SafeFileNameTest, NamesOfTheTemporariesPatternAreRefused) {
  for (const char* name : {"~pw0123456789abcdef.tmp", "~pw4242.7.tmp", "~PW0123~1.TMP", "~Pw.TmP",
                           "~pw\\..\\x.tmp"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(SafeFileName(name), std::nullopt);
  }
  EXPECT_EQ(SafeFileName("~pw1.tmp.txt"), "~pw1.tmp.txt");
  EXPECT_EQ(SafeFileName("x~pw1.tmp"), "x~pw1.tmp");
  EXPECT_EQ(SafeFileName("~pw1.tmp."), "~pw1.tmp_");  // Windows would not drop the dot now
}

}  // namespace
}  // namespace pw
