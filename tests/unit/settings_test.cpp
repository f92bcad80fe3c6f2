#include "services/settings.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "services/settings_keys.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw {
namespace {

using Entries = std::vector<std::string>;

// A fresh settings folder per test, with the system pointed at it.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::NewTemporaryFolder("pw-settings-");
    platform::SetEnvironmentValue("PUMPWIRE_ROOT", dir_.c_str());
    platform::SetEnvironmentValue("PUMPWIRE_WINDIR", nullptr);
  }
  void TearDown() override {
    platform::SetEnvironmentValue("PUMPWIRE_ROOT", nullptr);
    std::filesystem::remove_all(dir_);
  }
  void Put(const std::string& bytes) { std::ofstream(IniFilePath(), std::ios::binary) << bytes; }
  std::string Get() {
    std::ifstream in(IniFilePath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void Load() { ReadAllSettings(IniFile(IniFilePath()), s_, remembered_); }

  std::string dir_;
  Settings s_;
  Entries remembered_{"stale"};
};

TEST_F(SettingsTest, NoFileGivesTheInitialValues) {
  EXPECT_EQ(IniFilePath(), dir_ + platform::kPathSeparator + "cnf.INI");
  Load();
  EXPECT_TRUE(remembered_.empty());
  EXPECT_EQ(s_.OutPort, 6090);
  EXPECT_EQ(s_.InPort, 6090);
  EXPECT_EQ(s_.ReadTimeOut, 10000);
  EXPECT_EQ(s_.ConnectTimeOut, 10000);
  EXPECT_EQ(s_.ZaprosTimeOut, 120000);
  EXPECT_EQ(s_.InetBuffSize, 128);
  EXPECT_FALSE(s_.useFastDatTravel);
  EXPECT_FALSE(s_.PasswordEnable);
  EXPECT_TRUE(s_.ShowDialUp);
  EXPECT_TRUE(s_.DisconnectOnEnd);
  EXPECT_EQ(s_.e_TVrefresh, 1000);
  EXPECT_EQ(s_.e_ScrSHOTquality, 8);
  EXPECT_EQ(s_.e_TypeTV, 1);
  EXPECT_EQ(s_.e_JPGcompress, 75);
  EXPECT_EQ(s_.MaxConnections, 1024);
  EXPECT_EQ(s_.MaxConnectionsPerIP, 256);
  EXPECT_EQ(s_.HandshakeTimeOut, 60000);
  EXPECT_EQ(s_.IdleTimeOut, 1800000);
  EXPECT_EQ(s_.DialTimeOut, 180000);
  EXPECT_EQ(s_.Password.get() + s_.IntPassword.get() + s_.IntLogin.get(), "");
  EXPECT_FALSE(std::filesystem::exists(IniFilePath()));

  TheSettings().OutPort = 1;
  TheSettings().IntLogin.set("u");
  TheSettings().Reset();
  EXPECT_EQ(TheSettings().OutPort, 6090);
  EXPECT_EQ(TheSettings().IntLogin.get(), "");
}

TEST_F(SettingsTest, FileValuesWinAndBadOnesKeepTheValueInMemory) {
  s_.OutPort = 7000;
  s_.InetBuffSize = 4096;
  s_.ShowDialUp = false;
  s_.PhonebookEntry.set("Dial");
  Put("[inet]\nOutPort=70x0\nInetBuffSize=99999999999\nShowDialUp=on\nreadtimeout=-1\n"
      "InPort=7001\nuseFastDatTravel=2\ne_TypeTV=0\ne_TVrefresh=99999990\n"
      "e_ScrSHOTquality=300\ne_JPGcompress=-5\nMaxConnectionsPerIP=2000\nHandshakeTimeOut=90000\n"
      "DialTimeOut=240000\n");
  Load();
  EXPECT_EQ(s_.OutPort, 7000);  // not the initial 6090
  EXPECT_EQ(s_.InetBuffSize, 4096);
  EXPECT_FALSE(s_.ShowDialUp);
  EXPECT_EQ(s_.PhonebookEntry.get(), "Dial");
  EXPECT_EQ(s_.ReadTimeOut, -1);  // stays -1: no time limit
  EXPECT_EQ(s_.InPort, 7001);
  EXPECT_TRUE(s_.useFastDatTravel);
  EXPECT_EQ(s_.e_TypeTV, 0);
  // The narrow settings take the nearest value they can hold.
  EXPECT_EQ(s_.e_TVrefresh, 65535);
  EXPECT_EQ(s_.e_ScrSHOTquality, 255);
  EXPECT_EQ(s_.e_JPGcompress, 0);
  EXPECT_EQ(s_.MaxConnectionsPerIP, 2000);  // raised, for many stations behind one address
  EXPECT_EQ(s_.MaxConnections, 1024);       // absent: the default
  EXPECT_EQ(s_.HandshakeTimeOut, 90000);
  EXPECT_EQ(s_.DialTimeOut, 240000);
  EXPECT_EQ(s_.ConnectTimeOut, 10000);  // each bound its own
}

// What Load tells of the file: a number that is not one, and a password
// check that could let an empty line in, which is refused instead.
TEST_F(SettingsTest, ProblemsAreToldAndAnUnusablePasswordLetsNobodyIn) {
  const auto problems = [&] { return SettingsProblems(IniFile(IniFilePath()), s_); };
  Put("[Inet]\nInPort=abc\nOutPort=6091\nshowWND=on\nPasswordEnable=1\nPassword=secret\n");
  Load();
  EXPECT_TRUE(s_.PasswordUnusable) << "plain text is not the scrambled form";
  EXPECT_EQ(problems(), (std::vector<std::string>{
                            std::string("Ошибка в настройках: InPort=abc - не число"_w),
                            std::string("Ошибка в настройках: showWND=on - не число"_w),
                            std::string("Ошибка в настройках: Password пуст или записан не в "
                                        "зашифрованном виде; при PasswordEnable=1 ни один пароль "
                                        "не принимается"_w)}));

  Put("[Inet]\nPasswordEnable=1\nPassword=" + EncodePassword("qrst", "secret") + "\n");
  Load();
  EXPECT_FALSE(s_.PasswordUnusable);
  EXPECT_EQ(s_.Password.get(), "secret");
  EXPECT_TRUE(problems().empty());

  // The board's deadline: a time of day, "-" (no marks) or nothing; a typo
  // would silently mark no station.
  for (const char* fine : {"09:00", "7:30", "-"}) {
    Put("[Inet]\nReportDeadline=" + std::string(fine) + "\n");
    Load();
    EXPECT_TRUE(problems().empty()) << fine;
  }
  Put("[Inet]\nReportDeadline=9.00\n");
  Load();
  EXPECT_EQ(problems(), (std::vector<std::string>{std::string(
                            "Ошибка в настройках: ReportDeadline=9.00 - не время ЧЧ:ММ; станции без "
                            "отчета не отмечаются"_w)}));
  s_.ReportDeadline.set("");

  Put("[Inet]\nPasswordEnable=1\nPassword=\n");  // on, and empty
  ReadPasswordSettings(IniFile(IniFilePath()), s_);  // as RefreshPaswordData reads it
  EXPECT_TRUE(s_.PasswordUnusable);
  Put("[Inet]\nPasswordEnable=0\nPassword=secret\n");  // off: nothing is checked
  ReadPasswordSettings(IniFile(IniFilePath()), s_);
  EXPECT_FALSE(s_.PasswordUnusable);
  EXPECT_TRUE(problems().empty());

  // A switch neither 0 nor 1 is on with nobody let in, whatever Password
  // holds, and told once (not also as a number that is not one).
  for (const char* value : {"yes", "2", "-1"}) {
    Put("[Inet]\nPasswordEnable=" + std::string(value) + "\nPassword=" +
        EncodePassword("qrst", "secret") + "\n");
    s_.Reset();
    Load();
    EXPECT_TRUE(s_.PasswordEnable) << value;
    EXPECT_TRUE(s_.PasswordUnusable) << value;
    EXPECT_EQ(problems(), (std::vector<std::string>{
                              std::string("Ошибка в настройках: PasswordEnable="_w) + value +
                              std::string(" - не 0 и не 1; ни один пароль не принимается"_w)}));
    ReadPasswordSettings(IniFile(IniFilePath()), s_);
    EXPECT_TRUE(s_.PasswordUnusable) << value;
  }
  s_.Reset();

  // Keys nothing reads are told apart from the problems; known keys in any
  // letter case and other sections are not.
  Put("[Inet]\nInPrt=16193\ninport=7\nDIALTIMEOUT=5\nIPs=\n[Other]\nLeft=1\n");
  EXPECT_EQ(UnknownSettingsKeys(IniFile(IniFilePath())),
            (std::vector<std::string>{
                std::string("Неизвестный ключ в настройках: InPrt=16193 - не используется"_w)}));
  s_.Reset();

  Put("[Inet]\nMaxConnections=-1\nHandshakeTimeOut=0\n");  // would shut out all but one station
  Load();
  EXPECT_EQ(problems(), (std::vector<std::string>{
                            std::string("Ошибка в настройках: MaxConnections=-1 - меньше 1, действует "
                                        "значение по умолчанию"_w),
                            std::string("Ошибка в настройках: HandshakeTimeOut=0 - меньше 1, действует "
                                        "значение по умолчанию"_w)}));
  s_.Reset();
  Put("[Inet]\nHandshakeTimeOut=1min\nDialTimeOut=-1\n");
  Load();
  EXPECT_EQ(problems(), (std::vector<std::string>{
                            std::string("Ошибка в настройках: HandshakeTimeOut=1min - не число"_w),
                            std::string("Ошибка в настройках: DialTimeOut=-1 - меньше 1, действует "
                                        "значение по умолчанию"_w)}));
}

// One entry of over 250 characters is stored with its TAB, which tells it
// from a damaged value; the TAB must come back from the file.
TEST_F(SettingsTest, ALongSingleAddressEntrySurvivesTheFile) {
  const std::string entry = std::string(260, '1');
  IniFile(IniFilePath()).WriteString("Inet", "IPs", FormatRememberedAddresses({entry}));
  Load();
  EXPECT_EQ(remembered_, Entries{entry});

  Put("[Inet]\r\nIPs=" + entry + "  \t\r\n");  // hand-edited: blanks before the TAB
  Load();
  EXPECT_EQ(remembered_, Entries{entry + "  "});
  Put("[Inet]\r\nIPs=" + entry + "  \r\n");  // no TAB: damage
  Load();
  EXPECT_EQ(remembered_, Entries{" "});
}

TEST(SettingsRememberedAddresses, IPsValueToListAndBack) {
  EXPECT_EQ(ParseRememberedAddresses(""), Entries{});
  EXPECT_EQ(ParseRememberedAddresses("10.0.0.1\t10.0.0.2\t"), (Entries{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(ParseRememberedAddresses("10.0.0.1\t10.0.0.2"), (Entries{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(ParseRememberedAddresses("192.168.100.200 - A"), Entries{"192.168.100.200 - A"});
  EXPECT_EQ(ParseRememberedAddresses(std::string(300, '1')), Entries{" "});
  EXPECT_EQ(ParseRememberedAddresses(std::string(250, '1')), Entries{std::string(250, '1')});
  EXPECT_EQ(ParseRememberedAddresses(std::string(150, '1') + "\r\n" + std::string(150, '2')),
            Entries{" "});
  EXPECT_EQ(ParseRememberedAddresses(std::string(300, '1') + "\t").size(), 1u);
  // Only the one separator at the very end gives no entry.
  EXPECT_EQ(ParseRememberedAddresses("a\t\tb\t"), (Entries{"a", "", "b"}));
  EXPECT_EQ(ParseRememberedAddresses("a\t\t"), (Entries{"a", ""}));
  EXPECT_EQ(ParseRememberedAddresses("\t"), Entries{""});
  // Line breaks in the value split as a TAB does; CR LF is one break, LF CR two.
  EXPECT_EQ(ParseRememberedAddresses("a\r\nb\nc\rd\t"), (Entries{"a", "b", "c", "d"}));
  EXPECT_EQ(ParseRememberedAddresses("a\n\rb\t\r\nc"), (Entries{"a", "", "b", "", "c"}));
  EXPECT_EQ(ParseRememberedAddresses(std::string("a\tb\0c\t", 6)), (Entries{"a", "b"}));

  EXPECT_EQ(FormatRememberedAddresses({"a", "", "b"}), "a\t\tb\t");
  for (const Entries& list : {Entries{}, Entries{""}, Entries{"x", "", "y", ""}})
    EXPECT_EQ(ParseRememberedAddresses(FormatRememberedAddresses(list)), list);
}

TEST(SettingsScramble, CheckVectorRoundTripsAndBadText) {
  EXPECT_EQ(EncodePassword("qrst", "secret"), "6E767E727174");
  EXPECT_EQ(DecodePassword("qrst", "6e767e7271745"), "secret");  // either case, lone digit
  EXPECT_EQ(DecodePassword("qrst", "6E76zz7E727174"), "se");  // a bad pair ends the text
  EXPECT_EQ(DecodePassword("qrst", " 6E76"), "");
  EXPECT_EQ(EncodePassword("", "anything") + DecodePassword("", "6E76"), "");

  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += static_cast<char>(b);
  // Views first: clang 14 crashes on these literals inside the lists' initialisers.
  const std::string_view user = "Пользователь"_w;
  const std::string_view password = "Пароль №1"_w;
  const Entries keys{"q", "qrst", "lanternsflickerbeyondthemarshes", std::string(40, 'k'),
                     std::string(user), std::string("\0\xff", 2), all_bytes};
  const Entries passwords{"", "secret", std::string(password), std::string(32, 'p'), all_bytes};
  for (const auto& key : keys) {
    for (const auto& plain : passwords) {
      const std::string stored = EncodePassword(key, plain);
      EXPECT_EQ(stored.size(), plain.size() * 2);
      EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
      EXPECT_EQ(DecodePassword(key, stored), plain) << "key of " << key.size() << " bytes";
    }
  }
  // The mixed key is 31 bytes: it repeats, and key bytes past the 31st do not count.
  const std::string a = ScrambleText("key", std::string(62, 'a'));
  EXPECT_EQ(a.substr(0, 31), a.substr(31));
  EXPECT_EQ(ScrambleText(std::string(31, 'k') + "A", "xy"), ScrambleText(std::string(31, 'k'), "xy"));
}

TEST_F(SettingsTest, PasswordsFromTheFileAndWhenAbsent) {
  Put("[Inet]\nPasswordEnable=1\nPassword=6E767E727174\nIntLogin=user\nIntPassword=" +
      EncodePassword("user", "dial") + "\nOutPort=1\n");
  ReadPasswordSettings(IniFile(IniFilePath()), s_);
  EXPECT_TRUE(s_.PasswordEnable);
  EXPECT_EQ(s_.Password.get(), "secret");
  EXPECT_EQ(s_.OutPort, 6090);  // only the two password keys are read
  Load();
  EXPECT_EQ(s_.IntPassword.get(), "dial");

  // Absent keys keep the passwords in memory, even under a new login.
  Put("[Inet]\nIntLogin=other\n");
  Load();
  EXPECT_EQ(s_.Password.get(), "secret");
  EXPECT_EQ(s_.IntPassword.get(), "dial");
  // An empty login makes the password empty, stored or not.
  Put("[Inet]\nIntLogin=\nIntPassword=6E767E727174\n");
  ReadDialogConnectionSettings(IniFile(IniFilePath()), s_);
  EXPECT_EQ(s_.IntPassword.get(), "");
  s_.IntPassword.set("typed");
  IniFile ini(IniFilePath());
  WriteDialogSettings(ini, s_);
  EXPECT_EQ(ini.ReadString("Inet", "IntPassword", "?"), "");
}

TEST_F(SettingsTest, DialogWritesItsKeysInOrderAndKeepsTheRest) {
  const std::string before =
      "; host\r\n[Host]\r\nName=5\r\n\r\n[Inet]\r\nIPs=10.0.0.1\t\r\n"
      "PasswordEnable=1\r\nPassword=6E767E727174\r\nOutPort=6090\r\n";
  Put(before);
  s_.UseDefautConnection = true;
  s_.PhonebookEntry.set("Связь"_w.data());
  s_.UserData = true;
  s_.IntLogin.set("user");
  s_.IntPassword.set("Пароль"_w.data());
  s_.ReadTimeOut = -1;
  s_.OutPort = 7000;
  s_.e_TVrefresh = 65535;
  s_.e_ScrSHOTquality = 32;
  s_.e_TypeTV = 0;
  s_.PasswordEnable = false;  // never written by the dialog
  s_.Password.set("changed");
  IniFile ini(IniFilePath());
  WriteDialogSettings(ini, s_);
  std::string expected = before;
  expected.replace(expected.find("OutPort=6090"), 12, "OutPort=7000");
  expected += "UseDefautConnection=1\r\nPhonebookEntry=" + std::string("Связь"_w) +
              "\r\nDisconnectOnEnd=1\r\nUserData=1\r\nIntLogin=user\r\nShowDialUp=1\r\n"
              "IntPassword=" + EncodePassword("user", "Пароль"_w) +
              "\r\nZaprosTimeOut=120000\r\nReadTimeOut=-1\r\nConnectTimeOut=10000\r\n"
              "InPort=6090\r\nshowWND=0\r\nuseFastDatTravel=0\r\nInetBuffSize=128\r\n"
              "e_TVrefresh=65535\r\ne_ScrSHOTquality=32\r\ne_TypeTV=0\r\ne_JPGcompress=75\r\n";
  EXPECT_EQ(Get(), expected);

  Settings back;
  ReadAllSettings(ini, back, remembered_);
  EXPECT_EQ(remembered_, Entries{"10.0.0.1"});
  EXPECT_EQ(back.Password.get(), "secret");
  EXPECT_EQ(back.IntPassword.get(), std::string("Пароль"_w));
  EXPECT_EQ(back.PhonebookEntry.get(), std::string("Связь"_w));
  EXPECT_EQ(back.e_TVrefresh, 65535);
  EXPECT_EQ(back.e_TypeTV, 0);
}

// The one table of keys against the two orders the system keeps: the order
// in which Load reads the keys, and the dialog's, which writes the dial-up
// keys it re-reads on opening first. Every key reaches a field of its own.
TEST_F(SettingsTest, TheKeyTableIsWhatLoadReadsAndTheDialogWrites) {
  const std::vector<std::string_view> load_order = {
      "IPs", "PasswordEnable", "Password", "ZaprosTimeOut", "ReadTimeOut", "ConnectTimeOut",
      "OutPort", "InPort", "showWND", "useFastDatTravel", "InetBuffSize", "UseDefautConnection",
      "PhonebookEntry", "DisconnectOnEnd", "UserData", "IntLogin", "ShowDialUp", "IntPassword",
      "e_TVrefresh", "e_ScrSHOTquality", "e_TypeTV", "e_JPGcompress", "MaxConnections",
      "MaxConnectionsPerIP", "HandshakeTimeOut", "IdleTimeOut", "DialTimeOut", "ReportDeadline"};
  const Entries reread = {"UseDefautConnection", "PhonebookEntry", "DisconnectOnEnd", "UserData",
                          "IntLogin", "ShowDialUp", "IntPassword"};
  Entries dialog_order = reread;
  for (const char* key : {"ZaprosTimeOut", "ReadTimeOut", "ConnectTimeOut", "OutPort", "InPort",
                          "showWND", "useFastDatTravel", "InetBuffSize", "e_TVrefresh",
                          "e_ScrSHOTquality", "e_TypeTV", "e_JPGcompress"})
    dialog_order.emplace_back(key);

  std::vector<std::string_view> table;
  for (const SettingsKey& key : kSettingsKeys) table.push_back(key.name);
  EXPECT_EQ(table, load_order);

  // A file in which every key differs from its initial value: Load takes
  // each into its own field (two keys on one field would lose one).
  const Settings initial;
  std::string file = "[Inet]\r\n";
  std::vector<std::string> stored;  // by table position
  for (const SettingsKey& key : kSettingsKeys) {
    std::string value;
    switch (key.kind) {
      case SettingKind::Addresses: value = "10.0.0.9\t"; break;
      case SettingKind::PasswordSwitch:
      case SettingKind::Flag: value = key.initial != 0 ? "0" : "1"; break;
      case SettingKind::OfficePassword: value = EncodePassword(kPasswordKey, "office"); break;
      case SettingKind::DialPassword: value = EncodePassword("t-IntLogin", "dial"); break;
      // (the board's deadline is a time of day)
      case SettingKind::Text: value = key.name == "ReportDeadline" ? "07:45" : "t-" + std::string(key.name); break;
      case SettingKind::Number:
      case SettingKind::Limit: value = std::to_string(key.initial + 7); break;
    }
    file += std::string(key.name) + "=" + value + "\r\n";
    stored.push_back(key.kind == SettingKind::Addresses ? "" : value);
  }
  Put(file);
  Load();
  EXPECT_EQ(remembered_, Entries{"10.0.0.9"});
  EXPECT_FALSE(s_.PasswordUnusable);
  for (std::size_t i = 0; i < kSettingsKeys.size(); ++i)
    EXPECT_EQ(StoredSettingValue(s_, kSettingsKeys[i]), stored[i]) << kSettingsKeys[i].name;
  EXPECT_TRUE(SettingsProblems(IniFile(IniFilePath()), s_).empty());
  EXPECT_TRUE(UnknownSettingsKeys(IniFile(IniFilePath())).empty());

  // The dialog re-reads only its dial-up keys...
  Settings opened;
  ReadDialogConnectionSettings(IniFile(IniFilePath()), opened);
  Entries changed;
  for (const SettingsKey& key : kSettingsKeys)
    if (StoredSettingValue(opened, key) != StoredSettingValue(initial, key))
      changed.emplace_back(key.name);
  EXPECT_EQ(changed, reread);

  // ...and writes them first, then the rest it edits, each as Load reads it.
  std::filesystem::remove(IniFilePath());
  IniFile ini(IniFilePath());
  WriteDialogSettings(ini, s_);
  EXPECT_EQ(ini.ReadKeys("Inet"), dialog_order);
  Settings back;
  ReadAllSettings(ini, back, remembered_);
  for (const SettingsKey& key : kSettingsKeys) {
    if (key.dialog != DialogUse::None) {
      EXPECT_EQ(StoredSettingValue(back, key), StoredSettingValue(s_, key)) << key.name;
    }
  }

  // Reset brings every field back.
  s_.Reset();
  for (const SettingsKey& key : kSettingsKeys)
    EXPECT_EQ(StoredSettingValue(s_, key), StoredSettingValue(initial, key)) << key.name;
  EXPECT_FALSE(s_.PasswordUnusable);
}

}  // namespace
}  // namespace pw
