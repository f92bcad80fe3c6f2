#include "protocol/handshake.h"

#include <chrono>

#include "platform/error.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::protocol {

namespace {

constexpr std::string_view kOK = "OK";
constexpr std::string_view kOKF = "OKF";
constexpr std::string_view kPASS = "PASS";
constexpr std::string_view kNOPASS = "NOPASS";

std::string PasswordLine(const WireSettings& s) {
  return s.PasswordEnable ? s.Password : std::string(kNOPASS);
}

bool PasswordAccepted(const std::string& line, const WireSettings& s) {
  if (!s.PasswordEnable) return true;
  return !s.PasswordUnusable && line == s.Password;
}

enum class Verdict { kRight, kWrong, kLockedOut };

// Judges the password at the address's turn (see PasswordAttempts), waiting
// for it on the connection so that a stop of the listener ends the wait.
Verdict Judge(Session& session, const std::string& password, const ListenerSide& side,
              const std::string& ip, std::chrono::steady_clock::time_point latest) {
  const WireSettings& s = side.wire.settings;
  if (!s.PasswordEnable) return Verdict::kRight;
  if (side.attempts == nullptr) return PasswordAccepted(password, s) ? Verdict::kRight : Verdict::kWrong;
  const auto turn = side.attempts->Turn(ip, latest);
  if (!turn) return Verdict::kLockedOut;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*turn - std::chrono::steady_clock::now());
  if (wait.count() > 0 && !session.Pause(static_cast<int>(wait.count())))
    throw platform::ConnectionClosed();
  if (!PasswordAccepted(password, s)) {
    side.attempts->Wrong(ip);
    return Verdict::kWrong;
  }
  side.attempts->Right(ip);
  return Verdict::kRight;
}

bool AskToSwitch(const WireContext& wire, std::string_view question) {
  // Through a view: clang 14 crashes on a std::string made straight from
  // this literal inside a braced list.
  const std::string_view caption = "Прямое IP соединение"_w;
  ui::BoxRequest box{std::string(caption), std::string(question), ui::Buttons::OkCancel};
  return wire.ask(box) == ui::Answer::Ok;
}

void Accept(Session& session, const ListenerSide& side, ListenerResult& result,
            std::chrono::steady_clock::time_point latest) {
  const std::string ip = session.PeerIP();
  const WireContext& wire = side.wire;
  if (side.end == End::Station) wire.log("Устанавливается входящее соединение..."_w, side.log);
  session.WriteLine(wire.settings.useFastDatTravel ? kOKF : kOK);
  if (side.end == End::Station)
    session.WriteLine(side.own_name ? side.own_name() : std::string());
  else
    session.set_peer_name(result.station_name = session.ReadLine());
  if (side.end == End::Office && side.name_read) side.name_read(result.station_name);
  const std::string password = session.ReadLine();
  const Verdict verdict = Judge(session, password, side, ip, latest);
  if (verdict != Verdict::kRight) {
    session.WriteLine(kPASS);
    session.Disconnect();
    wire.log(std::string("Попытка подключения: IP: "_w) + ip +
                 std::string(verdict == Verdict::kWrong
                                 ? " прервана из-за неверного пароля"_w
                                 : " отклонена: с этого адреса недавно вводились неверные пароли"_w),
             side.log);
    return;
  }
  session.WriteLine(kOK);
  result.accepted = true;
  if (side.end == End::Station) {
    wire.log(std::string("Входящее соединение установленно, IP: "_w) + ip +
                 std::string(". Пароль верен или не установлен"_w),
             side.log);
  } else {
    if (side.register_station) side.register_station(result.station_name, ip);
    wire.log("\r\n" + std::string("Входящее соединение установленно, имя АЗС: "_w) +
                 text::VisibleText(result.station_name) + ", IP: " + ip +
                 std::string(". Пароль верен"_w),
             side.log);
  }
}

}  // namespace

PasswordRefused::PasswordRefused()
    : Error(std::string(
          "Не удалось подключиться к серверу: Неправильный пароль или не настроена безопасность соединения"_w)) {}

// A station's connector sends its name and password as soon as the greeting
// comes, but a connector whose transfer mode differs asks its operator first
// (between the greeting and the name line): the limit leaves room for that
// answer, and none for a peer that holds a thread for ever by sending nothing
// or a byte at a time. The connection caps bound how many can wait at once.
// No value turns the limit off.
int HandshakeLimitMs(const WireSettings& settings) {
  return settings.HandshakeTimeOut > 0 ? settings.HandshakeTimeOut : kDefaultHandshakeTimeOut;
}

ListenerResult ListenerHandshake(Session& session, const ListenerSide& side) {
  ListenerResult result;
  const int limit_ms = HandshakeLimitMs(side.wire.settings);
  const auto latest = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  session.SetDeadline(limit_ms);
  try {
    Accept(session, side, result, latest);
  } catch (const std::exception& e) {
    result.accepted = false;
    side.wire.log(std::string(side.end == End::Station ? "Ошибка входящего подключения: "_w
                                                  : "Ошибка при подключении: "_w) +
                 text::VisibleText(e.what()) + ", IP: " + session.PeerIP(),
             side.log);
    // Never authenticated: nothing more is read from it.
    session.Disconnect();
  }
  // The commands wait as long as the peer's work takes.
  session.SetDeadline(0);
  return result;
}

void ReconcileTransferMode(const std::string& greeting, Connector kind, const WireContext& wire) {
  const bool fast = wire.settings.useFastDatTravel;
  if (greeting == kOKF && !fast) {
    if (kind == Connector::TV ||
        AskToSwitch(wire, "На удаленной стороне включена ускоренная передача данных.\r"
                    "Для продолжения сеанса связи необходимо включить ускоренную передачу данных\r\r"
                    "Включить сейчас и продолжить обмен данными?"_w))
      wire.switch_transfer_mode(true);
  } else if (greeting == kOK && fast) {
    if (kind == Connector::TV ||
        AskToSwitch(wire, "На удаленной стороне отключена ускоренная передача данных.\r"
                    "Для продолжения сеанса связи необходимо отключить ускоренную передачу данных\r\r"
                    "Отключить сейчас и продолжить обмен данными?"_w))
      wire.switch_transfer_mode(false);
  }
}

std::optional<std::string> ConnectorHandshake(Session& session, const std::string& host, int port,
                                              const ConnectorSide& side) {
  const WireContext& wire = side.wire;
  const WireSettings& s = wire.settings;
  int connect_limit = 0;
  if (side.kind == Connector::Station) {
    wire.log(std::string("Исходящее подключение к офису: "_w) + host + "(" + std::to_string(port) +
                 ")",
             side.log);
    connect_limit = s.ConnectTimeOut;
  } else if (side.kind == Connector::Office) {
    wire.log("Идет подключение к АЗС..."_w, side.log);
    connect_limit = side.office_connect_timeout_ms;
  }
  session.SetReadTimeout(s.ReadTimeOut);
  session.Connect(host, port, connect_limit);
  if (!session.Connected()) return std::nullopt;

  ReconcileTransferMode(session.ReadLine(), side.kind, wire);

  std::string station_name;
  if (side.kind == Connector::Station) {
    session.WriteLine(side.own_name ? side.own_name() : std::string());
  } else {
    station_name = session.ReadLine();
  }
  session.WriteLine(PasswordLine(s));
  if (session.ReadLine() != kOK) {
    session.Disconnect();
    throw PasswordRefused();
  }
  if (side.kind == Connector::Station)
    wire.log("Исходящее подключение установленно"_w, side.log);
  else if (side.kind == Connector::Office)
    wire.log(std::string("Исходящее подключение установленно. АЗС: "_w) +
                 text::VisibleText(station_name),
             side.log);
  return station_name;
}

}  // namespace pw::protocol
