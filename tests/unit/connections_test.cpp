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

}  // namespace
}  // namespace pw::office
