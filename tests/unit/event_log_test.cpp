#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/controls.h"
#include "ui/dispatcher.h"
#include "ui/window.h"

namespace pw {
namespace {

constexpr std::size_t kStampAndDash = 24 + 3;  // "dd.mm.yyyy hh:nn:ss:zzz " + " - "

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::CreateDirectories(CurrentFolders().log_files); }
  std::string Log() const { return test::ReadFile(CurrentFolders().log_file); }
  test::TempFolder root;
};

TEST(TimeStamps, AreFormattedWithTwoDigitFieldsAndTheirTrailingBlanks) {
  const platform::LocalTime t{2008, 12, 7, 14, 3, 5, 120};
  EXPECT_EQ(FormatLongTimeStamp(t), "07.12.2008 14:03:05:120 ");
  EXPECT_EQ(FormatShortTimeStamp(t), "14:03:05  ");
  EXPECT_EQ(FormatLongTimeStamp({2026, 1, 2, 0, 0, 9, 7}), "02.01.2026 00:00:09:007 ");
}

TEST_F(EventLogTest, FirstCallCreatesTheFileAndEachLineIsStampDashTextCrLf) {
  AddToLog("Исходящее подключение установленно"_w);
  AddToLog("100% %s %d"_w);  // format characters are written unchanged
  const std::string log = Log();
  const std::string first = "Исходящее подключение установленно"_w.data();
  ASSERT_EQ(log.size(), 2 * (kStampAndDash + 2) + first.size() + 10);
  EXPECT_EQ(log.substr(23, 4), "  - ");  // two blanks, the dash, one blank
  EXPECT_EQ(log.substr(kStampAndDash, first.size() + 2), first + "\r\n");
  EXPECT_EQ(log.substr(log.size() - 12), "100% %s %d\r\n");
}

TEST_F(EventLogTest, TheFileIsSetAsideOnlyOncePastTheLimitAndASecondSetAsideTakesACounter) {
  const std::string path = CurrentFolders().log_file;
  const std::string rotated = path + platform::ShortDateText(platform::Now());
  const std::string text = "x";
  const std::size_t line = kStampAndDash + text.size() + 2;

  test::WriteFile(path, std::string(kRotationLimit - line, 'a'));
  AddToLog(text);  // exactly at the limit: stays
  EXPECT_EQ(FileSizeByName(path), kRotationLimit);
  EXPECT_FALSE(platform::FileExists(rotated));

  AddToLog(text);  // past it: set aside, the next line starts a new file
  EXPECT_FALSE(platform::FileExists(path));
  EXPECT_EQ(FileSizeByName(rotated), kRotationLimit + line);
  AddToLog(text);
  EXPECT_EQ(FileSizeByName(path), line);

  test::WriteFile(path, std::string(kRotationLimit, 'b'));
  AddToLog(text);  // the same day again: the earlier set-aside stays, this one is ".2"
  EXPECT_EQ(test::ReadFile(rotated).substr(0, 1), "a");
  EXPECT_EQ(test::ReadFile(rotated + ".2").substr(0, 1), "b");
}

// A flood of lines sets the log aside again and again within one day.
TEST_F(EventLogTest, AFloodOfSetAsidesKeepsTheDaysFirstLinesAndStopsAtTheCap) {
  const std::string path = CurrentFolders().log_file;
  const std::string date = platform::ShortDateText(platform::Now());
  const std::string dated = path + date;
  const auto last_text = [](const std::string& file) {
    const std::string tail = platform::ReadFileFrom(file, FileSizeByName(file) - 40);
    const auto start = tail.rfind(" - ", tail.size() - 2);
    return tail.substr(start + 3, tail.size() - start - 5);
  };

  AddToLog("the day's first line");
  for (int round = 1; round <= kSetAsidesPerDay + 2; ++round) {
    platform::AppendToFile(path, std::string(kRotationLimit, 'f') + "\r\n");
    AddToLog("round " + std::to_string(round));  // sets the file aside
    ASSERT_FALSE(platform::FileExists(path)) << round;
  }
  if (platform::ShortDateText(platform::Now()) != date) GTEST_SKIP() << "the day changed";

  const std::string first = test::ReadFile(dated).substr(0, 200);
  EXPECT_EQ(first.substr(kStampAndDash, 20), "the day's first line") << first;
  EXPECT_EQ(last_text(dated), "round 1");
  for (int counter = 2; counter < kSetAsidesPerDay; ++counter)
    EXPECT_EQ(last_text(dated + "." + std::to_string(counter)), "round " + std::to_string(counter));
  // Past the cap only the last numbered set-aside is replaced: its newest wins.
  const std::string last = dated + "." + std::to_string(kSetAsidesPerDay);
  EXPECT_EQ(last_text(last), "round " + std::to_string(kSetAsidesPerDay + 2));
  EXPECT_FALSE(platform::FileExists(dated + ".1"));
  EXPECT_FALSE(platform::FileExists(dated + "." + std::to_string(kSetAsidesPerDay + 1)));
}

TEST_F(EventLogTest, ConcurrentWritersNeitherTearNorLoseLines) {
  constexpr int kThreads = 6, kLines = 300;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i)
        AddToLog("writer " + std::to_string(t) + " line " + std::to_string(i) + " " +
                 std::string(40, static_cast<char>('a' + t)));
    });
  for (auto& w : writers) w.join();

  std::set<std::string> seen;
  const std::string log = Log();
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string text = log.substr(start + kStampAndDash, end - start - kStampAndDash);
    const auto t = text.substr(7, text.find(' ', 7) - 7);
    EXPECT_EQ(text.substr(text.size() - 40), std::string(40, static_cast<char>('a' + std::stoi(t))));
    seen.insert(text);
  }
  EXPECT_EQ(start, log.size());
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

// A window that keeps its log list the way the connection windows do.
class LogWindow : public ui::Window {
 public:
  LogWindow() : ui::Window("TLogWindow") {}
  void HandleMessage(std::uint32_t msg, std::string_view data) override {
    EXPECT_TRUE(ui::Dispatcher::instance().on_main_thread());
    if (msg == ui::WM_LOGLINE) list.AddLine(std::string(data));
  }
  ui::LogList list{*this, "lb_log"};
};

TEST_F(EventLogTest, AWorkersLineReachesTheWindowOnTheMainThreadWithTheShortStamp) {
  auto& dispatcher = ui::Dispatcher::instance();
  dispatcher.attach_main_thread();
  LogWindow window;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    AddToLog("Идет подключение к АЗС..."_w, &window.list);
    AddToLog("только в файл"_w);
    done = true;
    dispatcher.wake();
  });
  EXPECT_TRUE(dispatcher.run_until([&] { return done.load(); }, std::chrono::seconds(30)));
  worker.join();
  dispatcher.detach_main_thread();

  ASSERT_EQ(window.list.items.size(), 1u);
  EXPECT_EQ(window.list.item_index, 0);
  const std::string& line = window.list.items[0];
  EXPECT_EQ(line.substr(8, 2), "  ");
  EXPECT_EQ(line.substr(10), std::string("Идет подключение к АЗС..."_w));
}

TEST_F(EventLogTest, TheWindowsListKeepsItsNewestLinesAndTheFileKeepsThemAll) {
  constexpr std::size_t kKept = ui::LogList::kKeptLines, kMore = 7;
  auto& dispatcher = ui::Dispatcher::instance();
  dispatcher.attach_main_thread();
  LogWindow window;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (std::size_t i = 0; i < kKept + kMore; ++i) AddToLog("line " + std::to_string(i), &window.list);
    done = true;
    dispatcher.wake();
  });
  EXPECT_TRUE(dispatcher.run_until([&] { return done.load(); }, std::chrono::seconds(60)));
  worker.join();
  dispatcher.detach_main_thread();

  ASSERT_EQ(window.list.items.size(), kKept);
  EXPECT_EQ(window.list.item_index, static_cast<int>(kKept) - 1);  // the newest, selected
  EXPECT_EQ(window.list.items.front().substr(10), "line " + std::to_string(kMore));
  EXPECT_EQ(window.list.items.back().substr(10), "line " + std::to_string(kKept + kMore - 1));
  const std::string log = Log();
  EXPECT_EQ(log.substr(kStampAndDash, 8), "line 0\r\n");
  EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')), kKept + kMore);
}

// A log file that cannot be written costs its lines and nothing else: the
// caller goes on, the window still gets the line, the host hears once per
// run of losses, and the first line written again tells how many went.
TEST_F(EventLogTest, ALineTheFileCannotTakeIsCountedAndToldOnceNeverRaised) {
  const auto texts = [this] {
    std::vector<std::string> out;
    const std::string file = Log();
    for (std::size_t start = 0, end; (end = file.find("\r\n", start)) != std::string::npos;
         start = end + 2)
      out.push_back(file.substr(start + kStampAndDash, end - start - kStampAndDash));
    return out;
  };
  std::vector<std::string> told;
  SetLogFailureNotice([&](std::string_view error) { told.emplace_back(error); });
  const std::uint64_t lost_before = LogLinesLost();
  const std::filesystem::path log = test::Utf8Path(CurrentFolders().log_file);
  std::filesystem::create_directories(log);  // a folder where the file should be
  auto& dispatcher = ui::Dispatcher::instance();
  dispatcher.attach_main_thread();  // the window takes its line here, at once
  LogWindow window;
  EXPECT_NO_THROW(AddToLog("one", &window.list));
  EXPECT_NO_THROW(AddToLog("two"));
  dispatcher.detach_main_thread();
  EXPECT_EQ(window.list.items.size(), 1u);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find(CurrentFolders().log_file), std::string::npos) << told[0];
  EXPECT_EQ(LogLinesLost() - lost_before, 2u);

  std::filesystem::remove(log);
  AddToLog("three");
  AddToLog("four");
  EXPECT_EQ(texts(), (std::vector<std::string>{std::string("Не записано в журнал строк: 2"_w),
                                               "three", "four"}));
  std::filesystem::remove(log);
  std::filesystem::create_directories(log);
  AddToLog("five");  // a new run of losses: told again
  std::filesystem::remove(log);
  AddToLog("six");
  SetLogFailureNotice(nullptr);
  EXPECT_EQ(told.size(), 2u);
  EXPECT_EQ(texts(), (std::vector<std::string>{std::string("Не записано в журнал строк: 1"_w), "six"}));
  EXPECT_EQ(LogFailureLine("x"), std::string("Ошибка записи в журнал: x"_w));
}

// A disk that fills up in the middle of a line: the file keeps the lines
// before it whole and nothing of that one.
TEST_F(EventLogTest, ALineCutByAFullDiskLeavesNoPartOfItself) {
  AddToLog("before");
  const std::string before = Log();
  platform::FileFaultPlan plan;
  plan.under = CurrentFolders().log_file;
  plan.FailAt(platform::FileCall::kWrite, 1);
  platform::InstallFileFaultPlan(&plan);
  try {
    AddToLog("a line the disk has no room for");
  } catch (const Error&) {
  }
  platform::InstallFileFaultPlan(nullptr);
  EXPECT_EQ(Log(), before);
  AddToLog("after");
  const std::string after = Log();
  EXPECT_EQ(after.find("room for"), std::string::npos) << after;
  EXPECT_EQ(after.substr(after.size() - 7), "after\r\n");
}

TEST(FileHelpers, FileNamePartAndFileSizeByName) {
  EXPECT_EQ(FileNamePart("C:\\KELD\\OFFICE\\azs3.dat"), "azs3.dat");
  EXPECT_EQ(FileNamePart("/srv/keld/OFFICE/azs3.dat"), "azs3.dat");
  EXPECT_EQ(FileNamePart("C:\\mixed/dir\\name"), "name");
  EXPECT_EQ(FileNamePart("plain.txt"), "plain.txt");
  EXPECT_EQ(FileNamePart("C:\\KELD\\"), "");
  EXPECT_EQ(FileNamePart("/" + std::string(1200, 'n')).size(), 999u);

  test::TempFolder root;
  EXPECT_EQ(FileSizeByName(root / "missing"), 0u);
  test::WriteFile(root / "five", "12345");
  EXPECT_EQ(FileSizeByName(root / "five"), 5u);
}

TEST(RememberAddress, MovesAKnownAddressUpOrInsertsANewOneAndStoresTheList) {
  test::TempFolder root;
  std::vector<std::string> list = {"a", "b", "c", "d"};
  std::vector<std::string> items{"stale"};

  RememberAddress("c", list, items);  // third: to the top, the others keep their order
  EXPECT_EQ(list, (std::vector<std::string>{"c", "a", "b", "d"}));
  EXPECT_EQ(items, list);

  RememberAddress("e", list, items);  // new: inserted at the top, the list grows
  EXPECT_EQ(list, (std::vector<std::string>{"e", "c", "a", "b", "d"}));
  RememberAddress("e", list, items);  // already first: unchanged
  EXPECT_EQ(list.size(), 5u);

  const std::string ini = test::ReadFile(CurrentFolders().settings_file);
  EXPECT_NE(ini.find("IPs=e\tc\ta\tb\td\t"), std::string::npos) << ini;
  list.clear();
}

}  // namespace
}  // namespace pw
