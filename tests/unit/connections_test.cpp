// The office's station registry: registration, lookup by address, the list
// text and what each writes to the log file.
#include <gtest/gtest.h>

#include <mutex>

#include "office/connections.h"
#include "platform/files.h"
#include "services/folders.h"
#include "services/locks.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw::office {
namespace {

std::string W(std::string_view cp1251) { return std::string(cp1251); }

class ConnectionsTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::CreateDirectories(CurrentFolders().log_files); }

  std::string List() {
    MutexLock lock(RegistryLock());
    return registry.GetListText();
  }
  // How often text was logged as a whole line.
  int Logged(const std::string& text) const {
    const std::string log = test::ReadFile(CurrentFolders().log_file);
    const std::string line = " - " + text + "\r\n";
    int n = 0;
    for (auto p = log.find(line); p != std::string::npos; p = log.find(line, p + 1)) ++n;
    return n;
  }

  test::TempFolder root;
  Tconnections registry;
};

TEST_F(ConnectionsTest, TheSamePairIsRegisteredOnceAndOnlyAnExactRepeatCounts) {
  registry.AddStation(W("АЗС 3"_w), "10.0.0.3");
  registry.AddStation(W("АЗС 3"_w), "10.0.0.3");
  EXPECT_EQ(Logged(W("Уже есть IP в списке АЗС:АЗС 3 IP:10.0.0.3"_w)), 1);
  registry.AddStation(W("азс 3"_w), "10.0.0.3");  // names compare case-sensitively
  registry.AddStation(W("АЗС 3"_w), "10.0.0.30");
  EXPECT_EQ(List(), W("00:   АЗС: АЗС 3 (IP: 10.0.0.3)\r\n"
                      "01:   АЗС: азс 3 (IP: 10.0.0.3)\r\n"
                      "02:   АЗС: АЗС 3 (IP: 10.0.0.30)\r\n"_w));
}

TEST_F(ConnectionsTest, ARenamedStationIsStillFoundUnderItsOldestNameForThatAddress) {
  registry.AddStation("Other", "10.0.0.6");
  registry.AddStation(W("Северная"_w), "10.0.0.5");
  registry.AddStation(W("Южная"_w), "10.0.0.5");
  EXPECT_EQ(registry.FindNameByIP("10.0.0.5"), W("Северная"_w));
  EXPECT_EQ(Logged(W("Есть АЗС в списке подключенных: Северная IP: 10.0.0.5"_w)), 1);
  EXPECT_EQ(Logged(W("Список АЗС:"_w) + "\r\n" + List()), 1);
}

TEST_F(ConnectionsTest, AnUnknownAddressAndAnEmptyNameBothReadAsNotFound) {
  EXPECT_EQ(List(), W("Нет подключенных АЗС"_w));
  EXPECT_EQ(registry.FindNameByIP("10.0.0.9"), "");
  EXPECT_EQ(Logged(W("Не найдена АЗС в списке подключенных IP:10.0.0.9"_w)), 1);
  EXPECT_EQ(Logged(W("Список АЗС:\r\nНет подключенных АЗС"_w)), 1);

  registry.AddStation("", "10.0.0.8");
  EXPECT_EQ(registry.FindNameByIP("10.0.0.8"), "");
  EXPECT_EQ(Logged(W("Не найдена АЗС в списке подключенных IP:10.0.0.8"_w)), 1);
  EXPECT_EQ(List(), W("00:   АЗС:  (IP: 10.0.0.8)\r\n"_w));
}

TEST_F(ConnectionsTest, EntriesAreNumberedWithAtLeastTwoDigits) {
  for (int i = 0; i < 101; ++i) registry.AddStation("s" + std::to_string(i), "10.0.1." + std::to_string(i));
  const std::string text = List();
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  ASSERT_EQ(lines.size(), 101u);
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(lines[0], W("00:   АЗС: s0 (IP: 10.0.1.0)"_w));
  EXPECT_EQ(lines[9].substr(0, 4), "09: ");
  EXPECT_EQ(lines[10], W("10:   АЗС: s10 (IP: 10.0.1.10)"_w));
  EXPECT_EQ(lines[100], W("100:   АЗС: s100 (IP: 10.0.1.100)"_w));
}

// What a peer sends as its name is bounded, and so is what each lookup writes.
TEST_F(ConnectionsTest, ANameIsCutAtRegistrationAndTheCutNameIsWhatIsStoredAndFound) {
  const std::string cut(kMaxStationNameBytes, 'n');
  registry.AddStation(cut + "tail one", "10.0.2.1");
  EXPECT_EQ(registry.FindNameByIP("10.0.2.1"), cut);
  registry.AddStation(cut + "tail two", "10.0.2.1");  // the same pair once cut
  EXPECT_EQ(Logged(W("Уже есть IP в списке АЗС:"_w) + cut + " IP:10.0.2.1"), 1);
  EXPECT_EQ(List(), W("00:   АЗС: "_w) + cut + " (IP: 10.0.2.1)\r\n");
}

TEST_F(ConnectionsTest, ControlBytesOfANameAreVisibleInTheLogAndTheListButStoredAsSent) {
  const std::string name("A\r\n01.01.2000 00:00:00:000  - forged\0", 37);
  registry.AddStation(name, "10.0.2.2");
  EXPECT_EQ(registry.FindNameByIP("10.0.2.2"), name);
  const std::string shown = "A\\x0D\\x0A01.01.2000 00:00:00:000  - forged\\x00";
  EXPECT_EQ(Logged(W("Есть АЗС в списке подключенных: "_w) + shown + " IP: 10.0.2.2"), 1);
  EXPECT_EQ(List(), W("00:   АЗС: "_w) + shown + " (IP: 10.0.2.2)\r\n");
  EXPECT_EQ(test::ReadFile(CurrentFolders().log_file).find(std::string("forged\0", 7)), std::string::npos);
}

// A flood of names must not keep a real station out: the oldest entries
// make room, and the station registers again at its next connection.
TEST_F(ConnectionsTest, AFullRegistryDropsItsOldestForANewPairAndSaysSoOnce) {
  const auto address = [](std::size_t i) {
    return "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
  };
  for (std::size_t i = 0; i < kMaxStations; ++i) registry.AddStation("s" + std::to_string(i), address(i));
  for (int i = 0; i < 3; ++i) registry.AddStation("late" + std::to_string(i), "10.9.9.9");
  EXPECT_EQ(registry.FindNameByIP("10.9.9.9"), "late0");  // the oldest of that address
  EXPECT_EQ(registry.FindNameByIP(address(0)), "");        // made room
  EXPECT_EQ(registry.FindNameByIP(address(2)), "");
  EXPECT_EQ(registry.FindNameByIP(address(3)), "s3");
  EXPECT_EQ(Logged(W("Список АЗС заполнен, старые АЗС удаляются из списка, IP: 10.9.9.9"_w)), 1);
  const std::string log = test::ReadFile(CurrentFolders().log_file);
  EXPECT_EQ(log.find(W("Список АЗС заполнен"_w)), log.rfind(W("Список АЗС заполнен"_w)));
  // Registered stations are still found, and an exact repeat is still named.
  EXPECT_EQ(registry.FindNameByIP("10.1.15.255"), "s4095");
  registry.AddStation("s3", "10.1.0.3");
  EXPECT_EQ(Logged(W("Уже есть IP в списке АЗС:s3 IP:10.1.0.3"_w)), 1);
  registry.AddStation("back", address(0));  // the dropped station registers again
  EXPECT_EQ(registry.FindNameByIP(address(0)), "back");
}

TEST_F(ConnectionsTest, ALookupLogsTheFirstEntriesAndCountsTheRestWhileTheWindowsListHasAll) {
  const std::size_t total = kStationsListedPerLookup + 5;
  for (std::size_t i = 0; i < total; ++i) registry.AddStation("s" + std::to_string(i), "10.0.3." + std::to_string(i));
  const std::string all = List();
  std::size_t end = 0;  // past the first kStationsListedPerLookup lines
  for (std::size_t i = 0; i < kStationsListedPerLookup; ++i) end = all.find("\r\n", end) + 2;
  const std::string first = all.substr(0, end);
  const std::string last_shown = W("19:   АЗС: s19 (IP: 10.0.3.19)\r\n"_w);
  EXPECT_EQ(first.substr(first.size() - last_shown.size()), last_shown);
  EXPECT_NE(all.find(W("24:   АЗС: s24 (IP: 10.0.3.24)\r\n"_w)), std::string::npos);

  EXPECT_EQ(registry.FindNameByIP("10.0.3.24"), "s24");
  EXPECT_EQ(Logged(W("Список АЗС:"_w) + "\r\n" + first + W("... и еще 5"_w) + "\r\n"), 1);
}

}  // namespace
}  // namespace pw::office
