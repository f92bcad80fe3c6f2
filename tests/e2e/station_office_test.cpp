// A station and an office as two pumpwire-host processes on loopback.
#include <gtest/gtest.h>

#include "host_process.h"
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

}  // namespace
}  // namespace pw::test
