#include "platform/ini_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::NewTemporaryFolder("pw-ini-");
    ini_ = IniFile(dir_ + "/cnf.INI");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Put(const std::string& bytes) { std::ofstream(ini_.path(), std::ios::binary) << bytes; }
  std::string Get() {
    std::ifstream in(ini_.path(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string dir_;
  IniFile ini_{""};
};

TEST_F(IniFileTest, ReadFollowsTheProfileRules) {
  EXPECT_EQ(ini_.ReadString("Inet", "k", "dflt"), "dflt");  // no file yet
  EXPECT_FALSE(std::filesystem::exists(ini_.path()));
  Put("k=before any section\n[Other]\nk=other\n"
      "  [ INET ] trailing\n; k=comment\nk\n[Inet\n"
      " K =  two  words \t\nk=second\n"
      "dq=\"  kept  \"\nsq='x'\nmixed=\"x'\nlone=\"\nempty=\neqs=a=b\n"
      "[inet]\nlater=1\n"
      "[Сеть]\nКлючЁҐ=значение\n"_w.data());
  EXPECT_EQ(ini_.ReadString("inet", "k", "?"), "two  words \t");  // first key of first section
  EXPECT_EQ(ini_.ReadString("Inet", "later", "?"), "?");
  EXPECT_EQ(ini_.ReadString("Inet", "dq", "?"), "  kept  ");
  EXPECT_EQ(ini_.ReadString("Inet", "sq", "?"), "x");
  EXPECT_EQ(ini_.ReadString("Inet", "mixed", "?"), "\"x'");
  EXPECT_EQ(ini_.ReadString("Inet", "lone", "?"), "\"");
  EXPECT_EQ(ini_.ReadString("Inet", "empty", "?"), "");
  EXPECT_EQ(ini_.ReadString("Inet", "eqs", "?"), "a=b");
  // The first section's keys, each once under its first spelling.
  EXPECT_EQ(ini_.ReadKeys("INET"),
            (std::vector<std::string>{"K", "dq", "sq", "mixed", "lone", "empty", "eqs"}));
  EXPECT_TRUE(ini_.ReadKeys("none").empty());
  EXPECT_EQ(ini_.ReadString("сЕТЬ"_w, "клЮЧёґ"_w, "?"), std::string("значение"_w));
  EXPECT_EQ(ini_.ReadString("Сеть"_w, "КлючеҐ"_w, "?"), "?");  // Ё is not Е
}

TEST_F(IniFileTest, IntegersAreStrictDecimalAndBoolsAnyNonZero) {
  Put("[Inet]\na= -1 \nb=+42\nc='17'\nd=2147483647\ne=-2147483648\n"
      "f=12x\ng=0x10\nh=\ni=2147483648\nj=-2147483649\nk=+\nl=+-3\nm=1 2\nn=$10\n");
  EXPECT_EQ(ini_.ReadInteger("Inet", "a", 5), -1);
  EXPECT_EQ(ini_.ReadInteger("Inet", "b", 5), 42);
  EXPECT_EQ(ini_.ReadInteger("Inet", "c", 5), 17);
  EXPECT_EQ(ini_.ReadInteger("Inet", "d", 5), 2147483647);
  EXPECT_EQ(ini_.ReadInteger("Inet", "e", 5), -2147483647 - 1);
  for (const char* bad : {"f", "g", "h", "i", "j", "k", "l", "m", "n", "absent"})
    EXPECT_EQ(ini_.ReadInteger("Inet", bad, 5), 5) << bad;
  EXPECT_TRUE(ini_.ReadBool("Inet", "a", false));
  EXPECT_TRUE(ini_.ReadBool("Inet", "f", true));  // not a number: the default
  EXPECT_FALSE(ini_.ReadBool("Inet", "f", false));
}

TEST_F(IniFileTest, WriteReplacesInPlaceAndKeepsEveryOtherByte) {
  // Through a view: clang 14 crashes on a std::string made straight from this literal.
  const std::string_view text =
      "; shared\r\n[Host]\r\nName=Станция\r\n\r\n[inet]\r\n  outport = 6090   \r\n"
      ";InPort=1\r\nInPort=6090\r\n\r\n[Tail]\r\nx="_w;
  const std::string before = std::string(text) + "\xC0\xFF";
  Put(before);
  ini_.WriteInteger("Inet", "OutPort", 7001);
  std::string expected = before;
  expected.replace(expected.find("6090   "), 7, "7001");
  EXPECT_EQ(Get(), expected);
  ini_.WriteString("Inet", "OutPort", "7001");
  EXPECT_EQ(Get(), expected);
}

TEST_F(IniFileTest, WriteAddsKeysSectionsAndTheFileInTheFilesStyle) {
  ini_.WriteInteger("Inet", "OutPort", 7000);  // a new file gets CR LF
  ini_.WriteBool("Other", "flag", false);
  EXPECT_EQ(Get(), "[Inet]\r\nOutPort=7000\r\n[Other]\r\nflag=0\r\n");

  Put("[Inet]\nOutPort=1\n; note\n\n\n[Other]\nk=v");  // LF, last line unbroken
  ini_.WriteString("INET", "IPs", "10.0.0.1\t");
  ini_.WriteBool("other", "z", true);
  ini_.WriteString("New", "n", "");
  EXPECT_EQ(Get(), "[Inet]\nOutPort=1\n; note\nIPs=10.0.0.1\t\n\n\n[Other]\nk=v\nz=1\n[New]\nn=\n");
  // Spaces around a value go; a TAB at its end, which ends a list entry, stays.
  EXPECT_EQ(ini_.ReadString("Inet", "IPs", ""), "10.0.0.1\t");
  Put("[Inet]\nv= \t x \t  \n");
  EXPECT_EQ(ini_.ReadString("Inet", "v", ""), "x \t");

  Put("[A]");
  ini_.WriteString("a", "n", "\x80\xFF");
  EXPECT_EQ(Get(), "[A]\r\nn=\x80\xFF\r\n");
}

TEST_F(IniFileTest, WritesThatCannotLandRaiseAndLeaveTheFile) {
  Put("[Inet]\nIntLogin=a\n");
  EXPECT_THROW(ini_.WriteString("Inet", "IntLogin", "x\r\n[Inet]"), Error);
  EXPECT_THROW(ini_.WriteString("Inet", "Int\nLogin", "x"), Error);
  EXPECT_THROW(ini_.WriteString("In]et", "IntLogin", "x"), Error);
  EXPECT_THROW(ini_.WriteString("Inet", "a=b", "x"), Error);
  EXPECT_THROW(ini_.WriteString("Inet", " ", "x"), Error);
  EXPECT_EQ(Get(), "[Inet]\nIntLogin=a\n");

  EXPECT_THROW(IniFile(dir_ + "/absent/cnf.INI").WriteInteger("Inet", "k", 1), Error);
  // A folder in the file's place refuses the replacing rename, even to root.
  std::filesystem::create_directories(dir_ + "/busy.INI/inner");
  EXPECT_THROW(IniFile(dir_ + "/busy.INI").WriteInteger("Inet", "k", 1), Error);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/busy.INI/inner"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);  // no temp left
}

// A file its owner made read-only is not slipped past by the rename (which
// needs only the folder's permission), not even by root.
TEST_F(IniFileTest, AReadOnlyFileIsNeverReplaced) {
  Put("[Inet]\nInPort=6090\n");
  namespace fs = std::filesystem;
  const fs::path file = ini_.path();
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_THROW(ini_.WriteInteger("Inet", "InPort", 7000), Error);
  EXPECT_EQ(Get(), "[Inet]\nInPort=6090\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);  // no temp left
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  ini_.WriteInteger("Inet", "InPort", 7000);
  EXPECT_EQ(ini_.ReadInteger("Inet", "InPort", 0), 7000);
}

}  // namespace
}  // namespace pw
