// The office window over real sockets: its listener accepting raw stations,
// its outgoing handshake against scripted stations, and the window's events.
// The test thread is the main thread and pumps while it waits.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "process_state.h"
#include "raw_peer.h"
#include "office/inet_office_form.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "services/folders.h"
#include "shell/plugin_state.h"
#include "services/settings.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "sync/mutex.h"

namespace pw::office {
namespace {

using test::RawLine;
using test::RawWrite;

using platform::TcpConnection;
using namespace std::chrono_literals;

constexpr const char* kHost = test::kLoopback;
using test::kWaitMs;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

class OfficeWindowTest : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    TheSettings().InPort = 0;  // a free port
    platform::CreateDirectories(CurrentFolders().log_files);
    ui::Operator::instance().SetObserver(
        [this](const std::string& caption, const std::string& text, ui::Answer) {
          boxes.push_back(caption + "|" + text);
        });
    form = std::make_unique<TInetOfficeForm>(State());
  }
  void TearDown() override { form.reset(); }  // stops the server, whatever is still connected

  int Shown(std::string_view text) const {
    int n = 0;
    for (const auto& line : form->log.items) n += line.find(text) != std::string::npos;
    return n;
  }
  // Pumps until the window's log shows text `times` times, or until a
  // condition that a worker signals with wake() holds.
  bool WaitShown(std::string_view text, int times = 1) {
    return WaitUntil([&] { return Shown(text) >= times; });
  }
  bool WaitUntil(const std::function<bool()>& done) {
    return ui::Dispatcher::instance().run_until(done, 10s);
  }

  // A station that runs the handshake with the office; reply is the
  // office's answer to the password line.
  TcpConnection Station(const std::string& name, const std::string& password = "NOPASS",
                        const std::string& reply = "OK") {
    TcpConnection c = TcpConnection::Connect(kHost, form->ServerPort(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, name);
    RawWrite(c, password);
    EXPECT_EQ(RawLine(c), reply);
    return c;
  }
  std::string StationList() {
    form->BitBtn2Click();
    return boxes.back();
  }

  test::TempFolder root;
  std::unique_ptr<TInetOfficeForm> form;
  std::vector<std::string> boxes;
  const std::string kName = W("АЗС 3"_w);
  const std::string kArrival = W("\r\nВходящее соединение установленно, имя АЗС: АЗС 3, IP: 127.0.0.1. Пароль верен"_w);
  const std::string kDeparture = W("Соединение разорванно, имя АЗС: АЗС 3, IP: 127.0.0.1"_w);
  const std::string kListed = W("Подключенные АЗС|00:   АЗС: АЗС 3 (IP: 127.0.0.1)\r\n"_w);
};

TEST_F(OfficeWindowTest, AStationIsRegisteredNamedAndStillListedAfterItLeaves) {
  EXPECT_EQ(StationList(), W("Подключенные АЗС|Нет подключенных АЗС"_w));
  form->RunServer();
  EXPECT_EQ(Shown("Сервер входящих подключений запущен"_w), 1);
  TcpConnection station = Station(kName);
  ASSERT_TRUE(WaitShown(kArrival));
  EXPECT_EQ(form->LastStationName(), kName);
  station.Disconnect();
  ASSERT_TRUE(WaitShown(kDeparture));
  EXPECT_EQ(form->LastStationName(), "");
  EXPECT_EQ(StationList(), kListed);
}

TEST_F(OfficeWindowTest, TwoConnectionsUnderOneNameRegisterOnce) {
  form->RunServer();
  TcpConnection first = Station(kName), second = Station(kName);
  ASSERT_TRUE(WaitShown(kArrival, 2));
  EXPECT_NE(test::ReadFile(CurrentFolders().log_file).find(W("Уже есть IP в списке АЗС:АЗС 3 IP:127.0.0.1"_w)),
            std::string::npos);
  EXPECT_EQ(StationList(), kListed);
}

TEST_F(OfficeWindowTest, AWrongPasswordIsRefusedAndNotRegistered) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  form->RunServer();
  TcpConnection station = Station(kName, "secret", "PASS");
  EXPECT_THROW(RawLine(station), platform::ConnectionClosed);
  ASSERT_TRUE(WaitShown(W("Попытка подключения: IP: 127.0.0.1 прервана из-за неверного пароля"_w)));
  ASSERT_TRUE(WaitShown(W("Соединение разорванно, имя АЗС: , IP: 127.0.0.1"_w)));
  EXPECT_EQ(StationList(), W("Подключенные АЗС|Нет подключенных АЗС"_w));
}

// A peer that never passed the handshake is not named after the station
// registered from its address, and costs no lookup in the log.
TEST_F(OfficeWindowTest, APeerThatNeverPassedTheHandshakeIsNotLookedUp) {
  form->RunServer();
  Station(kName).Disconnect();
  ASSERT_TRUE(WaitShown(kDeparture));
  const auto lookups = [] {
    const std::string log = test::ReadFile(CurrentFolders().log_file);
    std::size_t n = 0;
    for (std::size_t at = 0; (at = log.find(W("Есть АЗС в списке подключенных"_w), at)) != std::string::npos; ++at) ++n;
    return n;
  };
  const std::size_t before = lookups();
  TcpConnection::Connect(kHost, form->ServerPort(), kWaitMs).Disconnect();
  ASSERT_TRUE(WaitShown(W("Соединение разорванно, имя АЗС: , IP: 127.0.0.1"_w)));
  EXPECT_EQ(Shown(kDeparture), 1);
  EXPECT_EQ(lookups(), before);
}

TEST_F(OfficeWindowTest, StopOnAStoppedServerAndStartOnATakenPortAreReported) {
  form->StopServer();
  EXPECT_EQ(Shown("Сервер остановлен"_w), 1);
  platform::TcpListener taken("", 0);
  TheSettings().InPort = taken.Port();
  form->RunServer();
  EXPECT_FALSE(form->ServerActive());
  EXPECT_EQ(Shown("Не удалось запустить сервер: "_w), 1);
}

TEST_F(OfficeWindowTest, StoppingWhileStationsAreConnectedEndsThemWithoutHanging) {
  form->RunServer();
  TcpConnection station = Station(kName);
  ASSERT_TRUE(WaitShown(kArrival));
  // The connection logs its end to the window while the stop waits for it.
  form->StopServer();
  EXPECT_FALSE(form->ServerActive());
  EXPECT_EQ(Shown(kDeparture), 1);
  EXPECT_NE(form->log.items.back().find(W("Сервер остановлен"_w)), std::string::npos);
  EXPECT_THROW(RawLine(station), platform::ConnectionClosed);

  form->RunServer();  // and the window goes away with a station connected
  TcpConnection again = Station(kName);
  ASSERT_TRUE(WaitShown(kArrival, 2));
  form.reset();
  EXPECT_THROW(RawLine(again), platform::ConnectionClosed);
}

TEST_F(OfficeWindowTest, InstalledCommandsRunAndAnEscapingErrorEndsOnlyThatConnection) {
  std::vector<std::string> words;
  for (const auto& c : form->listener().Commands()) words.emplace_back(c.word);
  EXPECT_EQ(words, (std::vector<std::string>{"TRY_GET_ZAPROS", "Send_file", "SEND_MYIP", "SEND_TEXT", "SEND_FILE2"}));
  EXPECT_FALSE(form->listener().SetCommandHandler("GET_OTCHET", [](protocol::Session&) {}));

  Mutex mu;
  std::vector<std::string> texts;  // under mu
  form->listener().SetCommandHandler("SEND_TEXT", [&](protocol::Session& s) {
    MutexLock lock(mu);
    texts.push_back(s.ReadLine());
    ui::Dispatcher::instance().wake();
  });
  form->listener().SetCommandHandler("SEND_MYIP", [](protocol::Session&) { throw Error("broken"); });
  auto received = [&](std::size_t n) {
    return WaitUntil([&] { MutexLock lock(mu); return texts.size() >= n; });
  };
  form->RunServer();
  TcpConnection station = Station(kName), other = Station("other");
  RawWrite(station, "send_text\r\nSEND_TEXT\r\nhello");  // the first matches no word
  ASSERT_TRUE(received(1));
  RawWrite(station, "SEND_MYIP");
  EXPECT_THROW(RawLine(station), platform::ConnectionClosed);
  EXPECT_TRUE(WaitShown(W("Ошибка при обработке команд, IP: 127.0.0.1: broken"_w)));
  RawWrite(other, "SEND_TEXT\r\nagain");
  ASSERT_TRUE(received(2));
  form->StopServer();  // before the handler's locals go
  EXPECT_EQ(texts, (std::vector<std::string>{"hello", "again"}));
}

TEST_F(OfficeWindowTest, ConnectingToStationsAndDisconnecting) {
  platform::TcpListener listener(kHost, 0);
  // A station that greets, names itself, reads the password and answers;
  // it reports the password and whether the office then closed.
  auto station = [&](std::string answer) {
    return std::async(std::launch::async, [&listener, answer] {
      auto c = listener.Accept(kWaitMs);
      c->SetReadTimeout(kWaitMs);
      RawWrite(*c, "OK\r\n" + W("АЗС 7"_w));
      const std::string password = RawLine(*c);
      RawWrite(*c, answer);
      try {
        RawLine(*c);
        return password + " open";
      } catch (const platform::ConnectionClosed&) {
        return password + " closed";
      }
    });
  };
  const std::string kCut = W("Разорвано исходящее соединение с АЗС"_w);

  auto peer = station("OK");
  protocol::Session session;
  std::string name;
  std::atomic<bool> done{false};
  std::thread exchange([&] {  // as an exchange thread runs it
    form->ConnectToServer(session, kHost, listener.Port(), name);
    done = true;
    ui::Dispatcher::instance().wake();
  });
  const bool finished = WaitUntil([&] { return done.load(); });
  exchange.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(name, W("АЗС 7"_w));
  EXPECT_EQ(form->LastStationName(), name);
  EXPECT_EQ(Shown("Идет подключение к АЗС..."_w), 1);
  EXPECT_EQ(Shown("Исходящее подключение установленно. АЗС: АЗС 7"_w), 1);
  EXPECT_TRUE(form->DisconnectFromServer(session));
  EXPECT_EQ(peer.get(), "NOPASS closed");
  EXPECT_EQ(form->LastStationName(), "");
  EXPECT_EQ(Shown(kCut), 1);

  peer = station("PASS");
  protocol::Session refused;
  form->ConnectToServer(refused, kHost, listener.Port(), name);
  EXPECT_EQ(name, "");
  EXPECT_EQ(peer.get(), "NOPASS closed");
  EXPECT_EQ(form->LastStationName(), "");
  EXPECT_EQ(Shown(kCut), 2);
  EXPECT_EQ(Shown("Ошибка при подключении к АЗС: Не удалось подключиться к серверу: Неправильный пароль или не настроена безопасность соединения"_w), 1);

  const int closed_port = platform::TcpListener(kHost, 0).Port();
  protocol::Session nowhere;
  form->ConnectToServer(nowhere, kHost, closed_port, name);
  EXPECT_EQ(Shown("Ошибка при подключении к АЗС: "_w), 2);
  EXPECT_EQ(Shown(kCut), 2);  // never connected: nothing to cut
}

struct Progress : protocol::TransferProgress {
  bool stop = false;
  void Step(std::int32_t) override {}
  bool StopRequested() const override { return stop; }
  bool TakeStop() override { return std::exchange(stop, false); }
};

TEST_F(OfficeWindowTest, ACancelledTransferClosesTheOutgoingConnection) {
  platform::TcpListener listener(kHost, 0);
  protocol::Session session;
  session.Connect(kHost, listener.Port(), kWaitMs);
  auto peer = listener.Accept(kWaitMs);
  peer->SetReadTimeout(kWaitMs);
  Progress progress;
  bool ok = true;
  EXPECT_FALSE(form->CheckCancelled(ok, progress, session));
  EXPECT_TRUE(ok);
  progress.stop = true;
  EXPECT_TRUE(form->CheckCancelled(ok, progress, session));
  EXPECT_FALSE(ok || progress.stop);
  EXPECT_EQ(boxes, std::vector<std::string>{W("Связь с офисом|Обмен данными прерван пользователем"_w)});
  EXPECT_EQ(Shown("Разорвано исходящее соединение с АЗС"_w), 1);
  EXPECT_THROW(RawLine(*peer), platform::ConnectionClosed);
}

TEST_F(OfficeWindowTest, TheLogCheckBoxShowingAndExit) {
  form->cb_log.checked = false;
  form->cb_logClick();
  EXPECT_EQ(form->client_height, 110);
  form->cb_log.checked = true;
  form->cb_logClick();
  EXPECT_EQ(form->client_height, 345);

  State().remembered_addresses = {W("10.0.0.5 - АЗС 7"_w), "", "10.0.0.6"};
  form->RunServer();
  form->Show();  // the newest remembered address goes into the box
  EXPECT_EQ(form->cb_IP.items, (std::vector<std::string>{W("10.0.0.5 - АЗС 7"_w), "10.0.0.6"}));
  EXPECT_EQ(form->cb_IP.caption, W("10.0.0.5 - АЗС 7"_w));
  EXPECT_EQ(form->StatusBar1.panels[1].text, W("Сетевое имя: "_w) + platform::LocalHostName());

  form->left = 120;
  form->MainMenu1.Find({W("Выход"_w)})->on_click();
  EXPECT_FALSE(form->visible);
  TcpConnection station = Station(kName);  // still listening
  ASSERT_TRUE(WaitShown(kArrival));
  form->left = 0;
  form->Show();  // back where it was left
  EXPECT_EQ(form->left, 120);
}

}  // namespace
}  // namespace pw::office
