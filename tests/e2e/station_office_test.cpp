// A station and an office as two pumpwire-host processes on loopback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "dialgate_file.h"
#include "digest_line.h"
#include "host_process.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"

namespace pw::test {
namespace {

struct Pair {
  Pair(std::vector<std::string> office_extra = {}) {
    office_args = {"office", "--root", office_root.path(), "--set", "InPort=" + std::to_string(office_port)};
    office_args.insert(office_args.end(), office_extra.begin(), office_extra.end());
  }
  TempFolder office_root, station_root;
  int office_port = FreePort();
  int station_port = FreePort();
  std::vector<std::string> office_args;
  std::vector<std::string> StationArgs() const {
    return {"station", "--root", station_root.path(), "--name", "АЗС 3",
            "--set", "OutPort=" + std::to_string(office_port),
            "--set", "InPort=" + std::to_string(station_port)};
  }
};

TEST(StationAndOffice, AuthenticateEachOtherAndShowItInTheWindowsAndLogs) {
  Pair p;
  HostProcess office(p.office_args);
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  HostProcess station(p.StationArgs());
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");

  station.Send("type 127.0.0.1 - Офис");
  station.Send("press bSendToOffice");
  EXPECT_NE(station.WaitFor("log: Исходящее подключение к офису: 127.0.0.1(" + std::to_string(p.office_port) + ")"), "");
  EXPECT_NE(station.WaitFor("log: Исходящее подключение установленно"), "") << station.Transcript();
  EXPECT_NE(station.WaitFor("log: Исходящее подключение разорвано"), "");
  EXPECT_NE(office.WaitFor("log: Входящее соединение установленно, имя АЗС: АЗС 3, IP: 127.0.0.1. Пароль верен"), "")
      << office.Transcript();
  EXPECT_NE(office.WaitFor("log: Соединение разорванно, имя АЗС: АЗС 3, IP: 127.0.0.1"), "");

  // The same station again from the same address: still one entry.
  station.Send("press bSendToOffice");
  EXPECT_NE(office.WaitFor("Уже есть IP в списке АЗС:АЗС 3 IP:127.0.0.1"), "") << office.Transcript();
  office.Send("stations");
  EXPECT_NE(office.WaitFor("box: Подключенные АЗС | 00:   АЗС: АЗС 3 (IP: 127.0.0.1)"), "") << office.Transcript();

  // Each press asked the office for a request; the office has none for it.
  EXPECT_NE(station.WaitFor("log: Отчет не отправлен!"), "") << station.Transcript();
  EXPECT_NE(station.WaitFor("log: Отчет не отправлен!"), "") << station.Transcript();
  station.Send("window");
  EXPECT_NE(station.WaitFor("cb_IP (ComboBox): \"127.0.0.1 - Офис\" items [127.0.0.1 - Офис]"), "")
      << station.Transcript();
  office.Send("window");
  EXPECT_NE(office.WaitFor("  \\r\\nВходящее соединение установленно, имя АЗС: АЗС 3"), "")
      << office.Transcript();

  station.Send("quit");
  office.Send("quit");
  EXPECT_EQ(station.Finish(), 0) << station.Transcript();
  EXPECT_EQ(office.Finish(), 0) << office.Transcript();
}

TEST(StationAndOffice, AWrongPasswordIsRefusedOnBothSides) {
  // "secret" as cnf.INI stores it.
  Pair p({"--set", "PasswordEnable=1", "--set", "Password=6E767E727174"});
  HostProcess office(p.office_args);
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  HostProcess station(p.StationArgs());
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");
  station.Send("type 127.0.0.1");
  station.Send("press bSendToOffice");
  EXPECT_NE(office.WaitFor("log: Попытка подключения: IP: 127.0.0.1 прервана из-за неверного пароля"), "")
      << office.Transcript();
  EXPECT_NE(station.WaitFor("log: Ошибка при подключении к офису: Не удалось подключиться к серверу: "
                            "Неправильный пароль или не настроена безопасность соединения"),
            "")
      << station.Transcript();
  EXPECT_EQ(station.Finish(), 0);
  EXPECT_EQ(office.Finish(), 0);
}

TEST(StationAndOffice, TheOfficesListenerStopsAndStartsFromItsMenu) {
  Pair p;
  HostProcess office(p.office_args);
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  HostProcess station(p.StationArgs());
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");
  station.Send("type 127.0.0.1");

  office.Send("listener stop");
  EXPECT_NE(office.WaitFor("log: Сервер остановлен"), "");
  office.Send("version");  // the stop has run once the next command answers
  ASSERT_NE(office.WaitFor("version:"), "");
  station.Send("press bSendToOffice");
  EXPECT_NE(station.WaitFor("log: Ошибка при подключении к офису: "), "") << station.Transcript();

  office.Send("listener start");
  EXPECT_NE(office.WaitFor("log: Сервер входящих подключений запущен"), "");
  office.Send("version");
  ASSERT_NE(office.WaitFor("version:"), "");
  station.Send("press bSendToOffice");
  EXPECT_NE(station.WaitFor("log: Исходящее подключение установленно"), "") << station.Transcript();
  EXPECT_EQ(station.Finish(), 0);
  EXPECT_EQ(office.Finish(), 0);
}

// The road of one report both ways, as two hosts run it, in acknowledged
// and fast transfer: the office pushes its request ("GET_OTCHET") and gets
// the report back, then the station fetches the request ("TRY_GET_ZAPROS")
// and delivers its report ("Send_file"). Both ends bring their connection up
// through the connection library, so the machine's own networks play no part.
struct Road {
  bool fast;
  int packet;
};

class ReportRoad : public ::testing::TestWithParam<Road> {
 protected:
  void SetUp() override { platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", "Connect=1"); }
  void TearDown() override { platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr); }
};

std::string OnlyFileIn(const std::string& folder, const std::string& ending) {
  std::string found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      EXPECT_EQ(found, "") << "two files end in " << ending;
      found = entry.path().string();
    }
  }
  return found;
}

// The digests a log holds ("SHA-256: " + 64 hex digits), sorted.
std::vector<std::string> DigestsIn(const std::string& log) {
  std::vector<std::string> digests;
  const std::string mark = " - SHA-256: ";
  for (std::size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
    digests.push_back(log.substr(at + mark.size(), 64));
  std::sort(digests.begin(), digests.end());
  return digests;
}

TEST_P(ReportRoad, TheStationsReportReachesTheOfficesHostWholeBothWays) {
  const Road road = GetParam();
  const std::vector<std::string> mode = {"--set", std::string("useFastDatTravel=") + (road.fast ? "1" : "0"),
                                         "--set", "InetBuffSize=" + std::to_string(road.packet)};
  Pair p(mode);
  p.office_args.insert(p.office_args.end(), {"--set", "OutPort=" + std::to_string(p.station_port)});
  for (const TempFolder* root : {&p.office_root, &p.station_root})
    std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, *root / DialgateFile());
  // The office host's request: an exact multiple of the packet size.
  std::filesystem::create_directories(p.office_root / "host/requests");
  WriteFile(p.office_root / "host/requests/АЗС 3", std::string(3 * road.packet, 'q'));
  // The station host's report: larger than a packet, not a multiple of it.
  const std::string report = p.station_root / "report.txt";
  WriteFile(report, std::string(5 * road.packet / 2 + 7, 'r'));
  std::vector<std::string> station_args = p.StationArgs();
  station_args.insert(station_args.end(), mode.begin(), mode.end());
  // The command prints the report's path and ignores the request's.
  const std::string ignore_rest = std::string(platform::kCommandInterpreter) == "sh" ? " #" : "& rem";
  station_args.insert(station_args.end(), {"--report-command", "echo " + report + ignore_rest});

  HostProcess office(p.office_args);
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  HostProcess station(station_args);
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");

  office.Send("type 127.0.0.1");
  office.Send("press BitBtn1");
  ASSERT_NE(office.WaitFor("log: Обмен данными с АЗС: 'АЗС 3' произошел УСПЕШНО!"), "")
      << office.Transcript() << station.Transcript();
  EXPECT_EQ(ReadFile(p.station_root / "OFFICE/АЗС 3_z"), std::string(3 * road.packet, 'q'));
  const std::string pushed = OnlyFileIn(p.office_root / "host/reports", "_127.0.0.1.dat");
  EXPECT_EQ(pushed, p.office_root / "host/reports/report_127.0.0.1.dat");
  EXPECT_EQ(ReadFile(pushed), ReadFile(report));

  station.Send("type 127.0.0.1");
  station.Send("press bSendToOffice");
  ASSERT_NE(station.WaitFor("log: Передача отчета произведена успешно!"), "")
      << office.Transcript() << station.Transcript();
  ASSERT_NE(office.WaitFor("log: Обработка принятого файла report_АЗС 3.dat завершена!"), "")
      << office.Transcript();
  EXPECT_EQ(ReadFile(p.office_root / "host/reports/report_АЗС 3.dat"), ReadFile(report));

  station.Send("quit");
  office.Send("quit");
  EXPECT_EQ(station.Finish(), 0);
  EXPECT_EQ(office.Finish(), 0);

  // Each of the four bodies logged once at each end with the same digest:
  // the request twice, the report twice.
  const std::string request_digest = Sha256Hex(std::string(3 * road.packet, 'q'));
  const std::string report_digest = Sha256Hex(ReadFile(report));
  std::vector<std::string> want{request_digest, request_digest, report_digest, report_digest};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(DigestsIn(ReadFile(p.office_root / "LogFiles/Pumpwire.log")), want);
  EXPECT_EQ(DigestsIn(ReadFile(p.station_root / "LogFiles/Pumpwire.log")), want);
  const std::string stored_at_office = p.office_root / "OFFICE/report_127.0.0.1.dat";
  EXPECT_NE(ReadFile(p.office_root / "LogFiles/Pumpwire.log").find(" - " + DigestLine(ReadFile(report), stored_at_office)),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, ReportRoad,
                         ::testing::Values(Road{false, 128}, Road{true, 256000}),
                         [](const auto& info) { return info.param.fast ? "Fast" : "Acknowledged"; });

}  // namespace
}  // namespace pw::test
