// The interactive exchange between a station and an office as two
// pumpwire-host processes on loopback: each operator sends the other a text,
// a file and the own address from the menu "Интерактивный обмен", and the
// other end shows, stores and adopts them. Both ends bring their connection
// up through the connection library, so the machine's own networks play no
// part.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dialgate_file.h"
#include "host_process.h"
#include "platform/environment.h"
#include "raw_peer.h"
#include "temp_folder.h"

namespace pw::test {
namespace {

class InteractiveExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", "Connect=1");
    for (const TempFolder* root : {&office_root, &station_root})
      std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, Utf8Path(*root / DialgateFile()));
  }
  void TearDown() override { platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr); }

  std::vector<std::string> OfficeArgs() const {
    return {"office", "--root", office_root.path(), "--set", "InPort=" + std::to_string(office_port),
            "--set", "OutPort=" + std::to_string(station_port)};
  }
  std::vector<std::string> StationArgs() const {
    return {"station", "--root", station_root.path(), "--name", "АЗС 3",
            "--set", "InPort=" + std::to_string(station_port),
            "--set", "OutPort=" + std::to_string(office_port)};
  }

  TempFolder office_root, station_root;
  int office_port = FreePort();
  int station_port = FreePort();
};

TEST_F(InteractiveExchange, ATextAFileAndTheOwnAddressGoEachWay) {
  HostProcess office(OfficeArgs());
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  HostProcess station(StationArgs());
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");
  const auto both = [&] { return office.Transcript() + "----\n" + station.Transcript(); };
  const std::string station_menu = "click Связь с офисом>Интерактивный обмен>";
  const std::string office_menu = "click Связь>Интерактивный обмен>";

  // ---- station to office ----
  station.Send("type 127.0.0.1 - Офис");
  station.Send("message Смена закрыта\\nкасса сдана");
  station.Send(station_menu + "Отправить текстовое сообщение");
  // Typed on two lines, the text travels as one line with a lone CR.
  ASSERT_NE(office.WaitFor("message: \"Получено сообщение от АЗС 3\" | Смена закрыта\\rкасса сдана"), "")
      << both();
  // The history shows the received CR as a visible escape.
  EXPECT_NE(office.WaitFor("history: Принято от АЗС 3 : Смена закрыта\\rкасса сдана"), "") << both();
  EXPECT_NE(station.WaitFor("history: Отправлено: Смена закрыта\\rкасса сдана"), "") << both();
  office.Send("windows");  // the office window's caption is the message now
  EXPECT_NE(office.WaitFor("window: TInetOfficeForm \"Смена закрыта\\rкасса сдана\""), "") << both();

  const std::string sheet = station_root / "смены/итог.txt";
  std::filesystem::create_directories(Utf8Path(station_root / "смены"));
  const std::string sheet_bytes = std::string(1000, 's') + "\r\nend\r\n";
  WriteFile(sheet, sheet_bytes);
  station.Send("choose " + sheet);
  station.Send(station_menu + "Отправить файл");
  const std::string stored_at_office = office_root / "FromAZS/итог.txt";
  ASSERT_NE(office.WaitFor("message: \"Принят файл от АЗС 3\" | Принят файл от АЗС 3\\r\\n" +
                           stored_at_office + "\\r\\nРазмер: " +
                           std::to_string(sheet_bytes.size()) + " байт"),
            "")
      << both();
  EXPECT_EQ(ReadFile(stored_at_office), sheet_bytes);

  office.Send("answer yes");
  station.Send(station_menu + "Отправить свой IP адрес");
  EXPECT_NE(office.WaitFor("box: Запрос с АЗС! | АЗС \"АЗС 3\" запрашивает синхронизацию IP "
                           "адреса!\\rновый IP адрес: 127.0.0.1\\rУстановить новый IP для азс? -> yes"),
            "")
      << both();
  EXPECT_NE(office.WaitFor("host: UpdateTableField OFFICE AZSIP АЗС 3"), "") << both();

  // ---- office to station ----
  office.Send("station АЗС 3 127.0.0.1");
  office.Send("message Пришлите\\nотчет");
  office.Send(office_menu + "Отправить текстовое сообщение");
  ASSERT_NE(station.WaitFor("message: \"Получено сообщение из ОФиса!\" | Пришлите\\rотчет"), "") << both();
  EXPECT_NE(station.WaitFor("history: Принято : Пришлите\\rотчет"), "") << both();
  EXPECT_NE(office.WaitFor("history: Отправлено: Пришлите\\rотчет"), "") << both();

  const std::string prices = office_root / "prices.csv";
  WriteFile(prices, "");  // an empty file arrives as an empty file
  office.Send("choose " + prices);
  office.Send(office_menu + "Отправить файл");
  const std::string stored_at_station = station_root / "FromOffice/prices.csv";
  ASSERT_NE(station.WaitFor("message: \"Принят файл из Офиса\" | Принят файл из Офиса\\r\\n" +
                            stored_at_station + "\\r\\nРазмер: 0 байт"),
            "")
      << both();
  EXPECT_TRUE(std::filesystem::exists(Utf8Path(stored_at_station)));
  EXPECT_EQ(ReadFile(stored_at_station), "");

  station.Send("answer yes");
  office.Send(office_menu + "Отправить свой IP адрес");
  EXPECT_NE(station.WaitFor("box: Запрос с Офиса! | Офис запрашивает синхронизацию IP адреса!\\rНовый "
                            "IP адрес: 127.0.0.1\\rУстановить новый IP для соединения с офисом? -> yes"),
            "")
      << both();
  // The address is adopted before the listener reads on and sees the close.
  EXPECT_NE(station.WaitFor("log: Входящее подключение разорванно, IP: 127.0.0.1"), "") << both();
  station.Send("window");  // the office's address replaces the one typed
  EXPECT_NE(station.WaitFor("cb_IP (ComboBox): \"127.0.0.1\" items [127.0.0.1 | 127.0.0.1 - Офис]"), "")
      << both();

  station.Send("quit");
  office.Send("quit");
  EXPECT_EQ(station.Finish(), 0) << both();
  EXPECT_EQ(office.Finish(), 0) << both();
}

}  // namespace
}  // namespace pw::test
