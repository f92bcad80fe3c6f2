// The office's board of stations as an operator meets it in the morning:
// twenty stations came overnight, some delivered their report, some were
// cut off in the middle of it, some never sent one; the office was
// restarted since. pumpwire-host's "board" and the board's table tell
// which is which.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "host_process.h"
#include "platform/board_view.h"
#include "platform/clock.h"
#include "platform/sha256.h"
#include "platform/station_board.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw::test {
namespace {

enum class Night { kDelivered, kCut, kSilent };

std::string Name(int i) { return text::cp1251_from_utf8("АЗС " + std::to_string(100 + i)); }

// The station's side: the handshake in fast mode, then its night's work.
void Station(int port, int i, Night night, const std::string& body) {
  platform::TcpConnection c = platform::TcpConnection::Connect(kLoopback, port, kWaitMs);
  c.SetReadTimeout(kWaitMs);
  ASSERT_EQ(RawLine(c), "OKF");
  RawWrite(c, Name(i));
  RawWrite(c, "NOPASS");
  ASSERT_EQ(RawLine(c), "OK");
  RawWrite(c, "TRY_GET_ZAPROS");
  ASSERT_EQ(RawLine(c), "No_zapros");
  if (night == Night::kSilent) return;
  RawWrite(c, "Send_file");
  ASSERT_EQ(RawLine(c), "OK");
  RawWrite(c, std::to_string(body.size()));
  RawWrite(c, "report" + std::to_string(i) + ".dat");
  c.Write(night == Night::kDelivered ? body : body.substr(0, body.size() / 2));
}

std::size_t Count(const HostProcess& host, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(host.lines().begin(), host.lines().end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

TEST(StationBoard, AfterARestartTheBoardTellsWhoReportedWhoFailedAndWhoNeverCame) {
  TempFolder root;
  const int port = FreePort();
  const std::vector<std::string> args = {"office", "--root", root.path(), "--set",
                                         "InPort=" + std::to_string(port), "--set",
                                         "useFastDatTravel=1", "--set", "InetBuffSize=256000",
                                         "--set", "ReportDeadline=00:00"};
  auto night = [](int i) { return i < 10 ? Night::kDelivered : i < 15 ? Night::kCut : Night::kSilent; };
  auto body = [](int i) { return std::string(40000 + i * 1000, static_cast<char>('a' + i)); };
  {
    HostProcess office(args);
    ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
    for (int i = 0; i < 20; ++i) Station(port, i, night(i), body(i));
    // Each delivered report has its digest line, each cut one its error.
    // (in the order the office's connections ended, not the stations').
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((Count(office, "log: SHA-256: ") < 10 || Count(office, "log: Ошибка приема файла: ") < 5) &&
           std::chrono::steady_clock::now() < deadline)
      office.WaitFor("log: ", std::chrono::seconds(1));
    ASSERT_EQ(Count(office, "log: SHA-256: "), 10u) << office.Transcript();
    ASSERT_EQ(Count(office, "log: Ошибка приема файла: "), 5u) << office.Transcript();
    office.Send("quit");
    ASSERT_EQ(office.Finish(), 0);
  }

  // The table itself, as another program would read it.
  const std::vector<platform::BoardRow> rows =
      platform::ReadBoard(root.path() + "OfficeDB", platform::BoardDay(platform::Now(), 0));
  ASSERT_EQ(rows.size(), 20u);
  for (const platform::BoardRow& row : rows) {
    const std::string name = text::utf8_from_cp1251(row.station);
    const int i = std::stoi(name.substr(name.size() - 3)) - 100;
    SCOPED_TRACE(text::utf8_from_cp1251(row.station));
    EXPECT_EQ(row.address, "127.0.0.1");
    EXPECT_FALSE(row.request) << "the office had no request for anyone";
    switch (night(i)) {
      case Night::kDelivered: {
        ASSERT_TRUE(row.report);
        platform::Sha256 hash;
        hash.Update(body(i).data(), body(i).size());
        EXPECT_EQ(row.report->digest, platform::HexDigest(hash.Final()));
        EXPECT_EQ(row.report->bytes, static_cast<std::int64_t>(body(i).size()));
        EXPECT_EQ(row.ok_today, 1);
        EXPECT_EQ(row.failed_today, 0);
        break;
      }
      case Night::kCut:
        EXPECT_FALSE(row.report);
        EXPECT_EQ(row.failed_today, 1);
        ASSERT_TRUE(row.failure);
        EXPECT_EQ(row.failure->text.rfind(Text("Ошибка приема файла: "_w), 0), 0u) << row.failure->text;
        break;
      case Night::kSilent:
        EXPECT_FALSE(row.report);
        EXPECT_FALSE(row.failure);
        EXPECT_FALSE(row.last_contact.empty());
        break;
    }
  }

  // The restarted office's host prints it, the stations without a report
  // first and marked, and writes it for a spreadsheet.
  HostProcess office(args);
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  office.Send("board");
  office.Send("board --csv " + root.path() + "board.csv");
  ASSERT_NE(office.WaitFor("board: 20 stations written to "), "") << office.Transcript();
  const auto& lines = office.lines();
  const auto header = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.rfind("АЗС  ", 0) == 0; });
  ASSERT_GE(std::distance(header, lines.end()), 21) << office.Transcript();
  for (int k = 1; k <= 20; ++k) {
    const std::string& line = *(header + k);
    const bool late = line.find(" ! ") != std::string::npos;
    EXPECT_EQ(late, k <= 10) << line;  // ten with no report, all marked, first
  }
  EXPECT_EQ(Count(office, "log: SHA-256"), 0u) << "no digest line from a restart";
  const std::string csv = ReadFile(root.path() + "board.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 21);
  office.Send("quit");
  EXPECT_EQ(office.Finish(), 0);
}

// A station whose name is longer than the office keeps is on the board
// once: its handshake's contact and its report under the same name.
TEST(StationBoard, AStationWithAnOverlongNameHasOneRow) {
  TempFolder root;
  const int port = FreePort();
  HostProcess office({"office", "--root", root.path(), "--set", "InPort=" + std::to_string(port), "--set",
                      "useFastDatTravel=1"});
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  {
    platform::TcpConnection c = platform::TcpConnection::Connect(kLoopback, port, kWaitMs);
    c.SetReadTimeout(kWaitMs);
    ASSERT_EQ(RawLine(c), "OKF");
    RawWrite(c, std::string(1000, 'N'));
    RawWrite(c, "NOPASS");
    ASSERT_EQ(RawLine(c), "OK");
    RawWrite(c, "Send_file");
    ASSERT_EQ(RawLine(c), "OK");
    RawWrite(c, "5");
    RawWrite(c, "report.dat");
    c.Write("hello");
  }
  ASSERT_NE(office.WaitFor("log: Соединение разорванно"), "") << office.Transcript();
  office.Send("quit");
  ASSERT_EQ(office.Finish(), 0);
  const std::vector<platform::BoardRow> rows =
      platform::ReadBoard(root.path() + "OfficeDB", platform::BoardDay(platform::Now(), 0));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].ok_today + rows[0].failed_today, 1) << "its report, stored or not, is on its row";
  EXPECT_LT(rows[0].station.size(), 1000u);
}

}  // namespace
}  // namespace pw::test
