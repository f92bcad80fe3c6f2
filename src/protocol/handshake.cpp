#include "protocol/handshake.h"

#include "platform/error.h"
#include "services/event_log.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw::protocol {

namespace {

constexpr std::string_view kOK = "OK";
constexpr std::string_view kOKF = "OKF";
constexpr std::string_view kPASS = "PASS";
constexpr std::string_view kNOPASS = "NOPASS";

constexpr std::int32_t kFastPacketSize = 256000;
constexpr std::int32_t kAckPacketSize = 128;

std::string PasswordLine() {
  const Settings& s = TheSettings();
  return s.PasswordEnable ? s.Password.get() : std::string(kNOPASS);
}

bool PasswordAccepted(const std::string& line) {
  const Settings& s = TheSettings();
  return !s.PasswordEnable || line == s.Password.get();
}

bool AskToSwitch(std::string_view question) {
  return ui::Operator::instance().MessageBox(std::string("Прямое IP соединение"_w),
                                             std::string(question),
                                             ui::Buttons::OkCancel) == ui::Answer::Ok;
}

void SetTransferMode(bool fast) {
  Settings& s = TheSettings();
  s.useFastDatTravel = fast;
  s.InetBuffSize = fast ? kFastPacketSize : kAckPacketSize;
}

void Accept(Session& session, const ListenerSide& side, ListenerResult& result) {
  const std::string ip = session.PeerIP();
  if (side.end == End::Station) AddToLog("Устанавливается входящее соединение..."_w, side.log);
  session.WriteLine(TheSettings().useFastDatTravel ? kOKF : kOK);
  if (side.end == End::Station)
    session.WriteLine(side.own_name ? side.own_name() : std::string());
  else
    result.station_name = session.ReadLine();
  if (side.end == End::Office && side.name_read) side.name_read(result.station_name);
  const std::string password = session.ReadLine();
  if (!PasswordAccepted(password)) {
    session.WriteLine(kPASS);
    session.Disconnect();
    AddToLog(std::string("Попытка подключения: IP: "_w) + ip +
                 std::string(" прервана из-за неверного пароля"_w),
             side.log);
    return;
  }
  session.WriteLine(kOK);
  result.accepted = true;
  if (side.end == End::Station) {
    AddToLog(std::string("Входящее соединение установленно, IP: "_w) + ip +
                 std::string(". Пароль верен или не установлен"_w),
             side.log);
  } else {
    if (side.register_station) side.register_station(result.station_name, ip);
    AddToLog("\r\n" + std::string("Входящее соединение установленно, имя АЗС: "_w) +
                 result.station_name + ", IP: " + ip + std::string(". Пароль верен"_w),
             side.log);
  }
}

}  // namespace

PasswordRefused::PasswordRefused()
    : Error(std::string(
          "Не удалось подключиться к серверу: Неправильный пароль или не настроена безопасность соединения"_w)) {}

ListenerResult ListenerHandshake(Session& session, const ListenerSide& side) {
  ListenerResult result;
  try {
    Accept(session, side, result);
  } catch (const std::exception& e) {
    result.accepted = false;
    AddToLog(std::string(side.end == End::Station ? "Ошибка входящего подключения: "_w
                                                  : "Ошибка при подключении: "_w) +
                 e.what(),
             side.log);
    // Never authenticated: nothing more is read from it.
    session.Disconnect();
  }
  return result;
}

void ReconcileTransferMode(const std::string& greeting, Connector kind) {
  const bool fast = TheSettings().useFastDatTravel;
  if (greeting == kOKF && !fast) {
    if (kind == Connector::TV ||
        AskToSwitch("На удаленной стороне включена ускоренная передача данных.\r"
                    "Для продолжения сеанса связи необходимо включить ускоренную передачу данных\r\r"
                    "Включить сейчас и продолжить обмен данными?"_w))
      SetTransferMode(true);
  } else if (greeting == kOK && fast) {
    if (kind == Connector::TV ||
        AskToSwitch("На удаленной стороне отключена ускоренная передача данных.\r"
                    "Для продолжения сеанса связи необходимо отключить ускоренную передачу данных\r\r"
                    "Отключить сейчас и продолжить обмен данными?"_w))
      SetTransferMode(false);
  }
}

std::optional<std::string> ConnectorHandshake(Session& session, const std::string& host, int port,
                                              const ConnectorSide& side) {
  const Settings& s = TheSettings();
  int connect_limit = 0;
  if (side.kind == Connector::Station) {
    AddToLog(std::string("Исходящее подключение к офису: "_w) + host + "(" + std::to_string(port) +
                 ")",
             side.log);
    connect_limit = s.ConnectTimeOut;
  } else if (side.kind == Connector::Office) {
    AddToLog("Идет подключение к АЗС..."_w, side.log);
  }
  session.SetReadTimeout(s.ReadTimeOut);
  session.Connect(host, port, connect_limit);
  if (!session.Connected()) return std::nullopt;

  ReconcileTransferMode(session.ReadLine(), side.kind);

  std::string station_name;
  if (side.kind == Connector::Station) {
    session.WriteLine(side.own_name ? side.own_name() : std::string());
  } else {
    station_name = session.ReadLine();
  }
  session.WriteLine(PasswordLine());
  if (session.ReadLine() != kOK) {
    session.Disconnect();
    throw PasswordRefused();
  }
  if (side.kind == Connector::Station)
    AddToLog("Исходящее подключение установленно"_w, side.log);
  else if (side.kind == Connector::Office)
    AddToLog(std::string("Исходящее подключение установленно. АЗС: "_w) + station_name, side.log);
  return station_name;
}

}  // namespace pw::protocol
