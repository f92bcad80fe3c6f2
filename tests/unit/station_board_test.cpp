// The stations' board: what the table keeps across opens, what it drops
// (old events, the stations unheard longest past the cap), and how its rows
// read (the oldest report first, late stations marked, CSV for a
// spreadsheet).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/board_view.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/sqlite_database.h"
#include "platform/station_board.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw {
namespace {

using platform::BoardEvent;
using platform::BoardLimits;
using platform::BoardRow;

class StationBoardTest : public ::testing::Test {
 protected:
  void Record(BoardEvent::Kind kind, const std::string& station, const std::string& at,
              const std::string& file = {}, const std::string& text = {}) {
    BoardEvent e;
    e.kind = kind;
    e.station = station;
    e.address = "10.0.0." + std::to_string(station.size());
    e.at = at;
    e.file = file;
    e.bytes = 1000;
    e.seconds = 1.25;
    e.digest = kind == BoardEvent::Kind::kReport ? std::string(64, 'a') : std::string();
    e.text = text;
    writer.Record(e, limits);
  }
  const BoardRow& Row(const std::vector<BoardRow>& rows, const std::string& station) {
    for (const BoardRow& r : rows)
      if (r.station == station) return r;
    ADD_FAILURE() << "no row for " << station;
    static const BoardRow none;
    return none;
  }

  test::TempFolder root;
  const std::string db = root.path() + "OfficeDB";
  BoardLimits limits{4096, 100, "2026-11-01"};
  platform::BoardWriter writer{db};
};

TEST_F(StationBoardTest, KeepsEachStationsLatestOfEachKindAndTodaysCounts) {
  const std::string north = Text("АЗС 'Северная', 7"_w);  // a quote and a comma in the name
  Record(BoardEvent::Kind::kReport, north, "2026-12-08 21:00:00", "old.dat");
  Record(BoardEvent::Kind::kRequest, north, "2026-12-09 08:00:00", "z.req");
  Record(BoardEvent::Kind::kReport, north, "2026-12-09 08:00:05", "new.dat");
  Record(BoardEvent::Kind::kFailure, north, "2026-12-09 08:30:00", {}, Text("Ошибка приема файла: Read Timeout"_w));
  Record(BoardEvent::Kind::kContact, "B", "2026-12-09 08:40:00");

  const std::vector<BoardRow> rows = platform::ReadBoard(db, "2026-12-09");
  ASSERT_EQ(rows.size(), 2u);
  const BoardRow& n = Row(rows, north);
  EXPECT_EQ(n.last_contact, "2026-12-09 08:30:00");
  ASSERT_TRUE(n.report);
  EXPECT_EQ(n.report->file, "new.dat");
  EXPECT_EQ(n.report->digest, std::string(64, 'a'));
  EXPECT_DOUBLE_EQ(n.report->seconds, 1.25);
  ASSERT_TRUE(n.request);
  EXPECT_EQ(n.request->file, "z.req");
  EXPECT_EQ(n.ok_today, 2);  // yesterday's report is not today's
  EXPECT_EQ(n.failed_today, 1);
  ASSERT_TRUE(n.failure);
  EXPECT_EQ(n.failure->text, Text("Ошибка приема файла: Read Timeout"_w));
  const BoardRow& b = Row(rows, "B");
  EXPECT_FALSE(b.report);
  EXPECT_FALSE(b.failure);
  EXPECT_EQ(b.ok_today + b.failed_today, 0);
}

TEST_F(StationBoardTest, DropsOldEventsAndTheStationsUnheardLongestPastTheCap) {
  auto names = [&] {
    std::vector<std::string> n;
    for (const BoardRow& r : platform::ReadBoard(db, "2026-12-09")) n.push_back(r.station);
    return n;
  };
  Record(BoardEvent::Kind::kReport, "A", "2026-10-31 23:59:59", "gone.dat");
  limits.stations = 3;
  Record(BoardEvent::Kind::kReport, "B", "2026-12-01 10:00:00", "b.dat");
  Record(BoardEvent::Kind::kReport, "C", "2026-12-02 10:00:00", "c.dat");
  Record(BoardEvent::Kind::kFailure, "A", "2026-12-03 10:00:00", {}, "cut");
  EXPECT_FALSE(Row(platform::ReadBoard(db, "2026-12-09"), "A").report) << "its report was older than kept";
  Record(BoardEvent::Kind::kReport, "D", "2026-12-04 10:00:00", "d.dat");  // B, heard last the longest ago, goes
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "C", "D"}));
  ASSERT_TRUE(Row(platform::ReadBoard(db, "2026-12-09"), "C").report);

  // Names that only shook hands go first, made-up ones of a flood too: they
  // do not push out a station whose report or failure is kept.
  for (int i = 0; i < 5; ++i) Record(BoardEvent::Kind::kContact, "F" + std::to_string(i), "2026-12-06 10:00:00");
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "C", "D"}));

  // Back after its eviction, B starts afresh, and is kept once it reports.
  Record(BoardEvent::Kind::kReport, "B", "2026-12-07 10:00:00", "b2.dat");
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "B", "D"}));
  EXPECT_EQ(Row(platform::ReadBoard(db, "2026-12-09"), "B").report->file, "b2.dat");
}

TEST_F(StationBoardTest, APeerFailingWithoutEndKeepsItsRowsCappedAndTheLastReportStays) {
  limits.per_kind = 3;
  Record(BoardEvent::Kind::kReport, "A", "2026-12-09 01:00:00", "a.dat");
  for (int i = 0; i < 10; ++i)
    Record(BoardEvent::Kind::kFailure, "A", "2026-12-09 02:00:0" + std::to_string(i), {}, "f" + std::to_string(i));
  const std::vector<BoardRow> rows = platform::ReadBoard(db, "2026-12-09");
  const BoardRow& a = Row(rows, "A");
  ASSERT_TRUE(a.report) << "the last report outlives any number of failures";
  EXPECT_EQ(a.report->file, "a.dat");
  ASSERT_TRUE(a.failure);
  EXPECT_EQ(a.failure->text, "f9");
  EXPECT_EQ(a.failed_today, 3) << "at most per_kind rows of a kind are kept";
}

TEST_F(StationBoardTest, NoFileYetIsAnEmptyBoardAndAnUnwritableFolderRaises) {
  EXPECT_TRUE(platform::ReadBoard(db, "2026-12-09").empty());
  platform::WriteFileReplacing(root.path() + "blocked", "a file, not a folder");
  BoardEvent e;
  e.station = "A";
  e.at = "2026-12-09 10:00:00";
  platform::BoardWriter blocked(root.path() + "blocked");
  EXPECT_THROW(blocked.Record(e, limits), Error);
}

// Another process holding the file (a second office on the folder, an
// operator's SQLite tool) costs the event at once: the office's exchanges,
// its main thread's among them, record their events as they go.
TEST_F(StationBoardTest, AFileLockedByAnotherProcessCostsTheEventNotTheExchangesTime) {
  Record(BoardEvent::Kind::kContact, "A", "2026-12-09 10:00:00");
  {
    platform::sqlite::Database other(platform::BoardFile(db), SQLITE_OPEN_READWRITE);
    other.Execute("BEGIN IMMEDIATE");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Record(BoardEvent::Kind::kContact, "B", "2026-12-09 10:00:01"), Error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    other.Execute("ROLLBACK");
  }
  Record(BoardEvent::Kind::kContact, "B", "2026-12-09 10:00:02");  // the lock gone, written again
  EXPECT_EQ(platform::ReadBoard(db, "2026-12-09").size(), 2u);
}

TEST(BoardView, TheDeadlineLastPassedMarksStationsWithNoReportSinceThen) {
  const platform::LocalTime before{2026, 3, 1, 8, 59, 0, 0};  // the day after 28 February
  const platform::LocalTime after{2026, 3, 1, 9, 0, 0, 0};
  EXPECT_EQ(platform::LastDeadline("", before), "2026-02-28 09:00:00");
  EXPECT_EQ(platform::LastDeadline("09:00", after), "2026-03-01 09:00:00");
  EXPECT_EQ(platform::LastDeadline("7:05", after), "2026-03-01 07:05:00");
  for (const char* none : {"-", "25:00", "9", "09:00x"}) EXPECT_EQ(platform::LastDeadline(none, after), "") << none;
  EXPECT_EQ(platform::BoardDay(after, 30), "2026-01-30");

  std::vector<BoardRow> rows(3);
  rows[0].station = "on time";
  rows[0].report = platform::BoardReport{"2026-03-01 09:10:00", "a.dat", "", 10, 0.5};
  rows[1].station = "late";
  rows[1].report = platform::BoardReport{"2026-02-28 20:00:00", "b.dat", "", 10, 0.5};
  rows[2].station = "never";
  const std::vector<platform::BoardLine> lines = platform::BoardLines(rows, "2026-03-01 09:00:00");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].station, "never");
  EXPECT_EQ(lines[1].station, "late");
  EXPECT_EQ(lines[2].station, "on time");
  EXPECT_TRUE(lines[0].late);
  EXPECT_TRUE(lines[1].late);
  EXPECT_FALSE(lines[2].late);
  EXPECT_FALSE(platform::BoardLines(rows, "")[0].late) << "no deadline, no mark";
}

TEST(BoardView, TheTableAlignsItsColumnsAndTheCsvIsUtf8WithFieldsQuoted) {
  BoardRow row;
  row.station = Text("АЗС \"7\", юг"_w);
  row.address = "10.0.0.7";
  row.failure = platform::BoardFailure{"2026-03-01 09:10:00", "two\r\nlines"};
  const std::vector<platform::BoardLine> lines = platform::BoardLines({row}, "");

  const std::string csv = platform::BoardCsv(lines);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")).rfind(text::utf8_from_cp1251(Text("АЗС,IP,"_w)), 0), 0u);
  EXPECT_NE(csv.find("\r\n\"" + text::utf8_from_cp1251(Text("АЗС \"\"7\"\", юг"_w)) + "\",10.0.0.7,"),
            std::string::npos);
  EXPECT_NE(csv.find(",\"two\r\nlines\"\r\n"), std::string::npos);

  const std::string table = platform::BoardTable(lines);
  const std::size_t second = table.find("\r\n") + 2;
  EXPECT_EQ(table.find("IP"), table.find("10.0.0.7", second) - second) << "columns line up";

  // What a station told cannot forge a row of the table, act on the
  // reader's screen, or run as a formula in the spreadsheet.
  BoardRow forged;
  forged.station = "=HYPERLINK(\"http://x\")\r\nA  10.0.0.9\x1b[2J";
  forged.address = "10.0.0.8";
  const std::vector<platform::BoardLine> odd = platform::BoardLines({forged}, "");
  const std::string shown = platform::BoardTable(odd);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2) << shown;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_NE(shown.find("\\x0D\\x0AA  10.0.0.9\\x1B[2J"), std::string::npos) << shown;
  EXPECT_EQ(odd[0].station, forged.station) << "the window's buttons still name the station";
  EXPECT_NE(platform::BoardCsv(odd).find("\r\n\"'=HYPERLINK(\"\"http://x\"\")\r\nA  10.0.0.9\x1b[2J\","),
            std::string::npos);
}

}  // namespace
}  // namespace pw
