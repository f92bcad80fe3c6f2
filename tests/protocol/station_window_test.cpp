// The station window over real sockets on loopback: its listener's start,
// stop and per-address bindings, the incoming handshake, the outgoing
// connection to a scripted office, and the window's own handlers. The test
// thread is the main thread; whenever it waits for a worker it pumps, as the
// host's user-interface thread would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include "host/folder_host.h"
#include "log_file.h"
#include "main_thread_pump.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "thread_signals.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "window_log.h"

namespace pw::station {
namespace {

using test::RawLine;
using test::RawWrite;

using platform::TcpConnection;
using namespace std::chrono_literals;

constexpr const char* kHost = test::kLoopback;
using test::kWaitMs;
constexpr auto kPumpLimit = 20s;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

std::string RawLine(TcpConnection&& c) { return RawLine(c); }

// A station client past the greeting, name and password line (on a worker).
TcpConnection Greeted(const std::string& address, int port, const std::string& password = "NOPASS") {
  TcpConnection c = TcpConnection::Connect(address, port, kWaitMs);
  c.SetReadTimeout(kWaitMs);
  EXPECT_EQ(RawLine(c), "OK");
  EXPECT_EQ(RawLine(c), W("АЗС 3"_w));
  RawWrite(c, password);
  return c;
}

const std::string kStarted = W("Сервер входящих подключений запущен"_w);
const std::string kStopped = W("Сервер остановлен"_w);
const std::string kAccepted =
    W("Входящее соединение установленно, IP: 127.0.0.1. Пароль верен или не установлен"_w);
const std::string kEnded = W("Входящее подключение разорванно, IP: 127.0.0.1"_w);

class StationWindowTest : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    TheSettings().InPort = 0;  // a free port; the listener tells which
    platform::CreateDirectories(CurrentFolders().log_files);
    State().host.emplace(&host);
    State().remembered_addresses = {"10.0.0.1", "", "10.0.0.2"};
    form = std::make_unique<TInetForm>(State());
    form->local_addresses = [] { return std::vector<std::string>{kHost}; };
  }
  void TearDown() override { form.reset(); }  // while the host it was given lives

  // Runs fn on a thread of its own while the main thread pumps.
  template <class Fn>
  auto OnWorker(Fn fn) {
    return test::OnWorker(std::move(fn), kPumpLimit);
  }

  std::vector<std::string> Lines() const { return test::LogLines(form->log); }
  int Count(std::string_view line) const { return test::CountLine(form->log, line); }
  bool WaitFor(std::string_view line, int times = 1) {
    return test::WaitForLine(form->log, line, times, kPumpLimit);
  }

  test::TempFolder root;
  host::FolderHost host{root.path() + "host/", W("АЗС 3"_w), 4, [](const std::string&) {}};
  std::unique_ptr<TInetForm> form;
};

TEST(NetworkAddressesTest, LoopbackCountsOnlyOnAMachineWithoutOtherAddresses) {
  using V = std::vector<std::string>;
  EXPECT_EQ(NetworkAddresses(V{"10.0.0.5", "192.168.1.2", "127.0.0.1"}), (V{"10.0.0.5", "192.168.1.2"}));
  EXPECT_EQ(NetworkAddresses(V{"127.0.0.1", "127.0.0.2"}), (V{"127.0.0.1", "127.0.0.2"}));
}

TEST_F(StationWindowTest, IncomingConnectionsAreGreetedServedAndLoggedToTheirEnd) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  form->IdTCPServer1.SetHandler("SEND_TEXT", [](protocol::Session& s) { s.WriteLine("got " + s.ReadLine()); });
  form->IdTCPServer1.SetHandler("GET_TVSHOT", [](protocol::Session&) { throw Error("no picture"); });
  form->RunServer();
  ASSERT_TRUE(form->IdTCPServer1.Active());
  const int port = form->IdTCPServer1.Port();

  OnWorker([port] {
    TcpConnection refused = Greeted(kHost, port, "secret");
    EXPECT_EQ(RawLine(refused), "PASS");
    EXPECT_THROW(RawLine(refused), platform::ConnectionClosed);

    TcpConnection steady = Greeted(kHost, port, "Secret");
    EXPECT_EQ(RawLine(steady), "OK");
    TcpConnection failing = Greeted(kHost, port, "Secret");
    EXPECT_EQ(RawLine(failing), "OK");
    RawWrite(failing, "GET_TVSHOT");  // its error ends this connection only
    EXPECT_THROW(RawLine(failing), platform::ConnectionClosed);
    RawWrite(steady, "SEND_MYIP");  // a placeholder: accepted, no reply
    RawWrite(steady, "send_text");  // no such word: ignored
    RawWrite(steady, "SEND_TEXT");
    RawWrite(steady, "hello");
    EXPECT_EQ(RawLine(steady), "got hello");
  });
  ASSERT_TRUE(WaitFor(kEnded, 2));
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines.front(), kStarted);
  EXPECT_EQ(Count(W("Попытка подключения: IP: 127.0.0.1 прервана из-за неверного пароля"_w)), 1);
  EXPECT_EQ(Count(W("Устанавливается входящее соединение..."_w)), 3);
  EXPECT_EQ(Count(kAccepted), 2);
  EXPECT_EQ(form->log.item_index, static_cast<int>(lines.size()) - 1);  // the newest is selected
  EXPECT_TRUE(form->IdTCPServer1.Active());
}

// Past MaxConnectionsPerIP a connection is closed before its greeting, the
// burst is written to the log file once at its start and once at its end,
// and a station is served again once one connection has gone.
TEST_F(StationWindowTest, ConnectionsPastTheCapAreClosedAndLoggedOncePerBurst) {
  TheSettings().MaxConnectionsPerIP = 1;
  form->RunServer();
  const int port = form->IdTCPServer1.Port();
  // The refusals go to the log file only.
  auto in_file = [](const std::string& line, int times) {
    return test::CountInFile(CurrentFolders().log_file, line, times, kPumpLimit);
  };
  OnWorker([&] {
    std::optional<TcpConnection> held = Greeted(kHost, port);
    EXPECT_EQ(RawLine(*held), "OK");
    for (int i = 0; i < 3; ++i) {
      TcpConnection c = TcpConnection::Connect(kHost, port, kWaitMs);
      c.SetReadTimeout(kWaitMs);
      EXPECT_TRUE(test::SeesClose(c)) << "closed before any greeting";
    }
    EXPECT_EQ(in_file(W("Отклонено входящих подключений: 3"_w), 1), 1);
    EXPECT_EQ(in_file(W("Слишком много входящих подключений с IP: 127.0.0.1 (1), новые отклоняются"_w), 1), 1);
    held.reset();
  });
  ASSERT_TRUE(WaitFor(kEnded));
  OnWorker([&] {
    // Its thread is joined just after its handler logs the end.
    const auto until = std::chrono::steady_clock::now() + kPumpLimit;
    while (form->IdTCPServer1.ConnectionThreads() > 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(1ms);
    EXPECT_EQ(RawLine(Greeted(kHost, port)), "OK");
  });
}

TEST_F(StationWindowTest, StopOnTheMainThreadWithAClientConnectedDoesNotHang) {
  form->RunServer();
  const int port = form->IdTCPServer1.Port();
  TcpConnection client = OnWorker([port] {
    TcpConnection c = Greeted(kHost, port);
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  });
  ASSERT_TRUE(WaitFor(kAccepted));
  // The connection's last log line needs the main thread while the main
  // thread is stopping the server; a deadlock would stop the test here.
  test::MustNotHang([&] { form->StopServer(); }, kPumpLimit);
  EXPECT_FALSE(form->IdTCPServer1.Active());
  EXPECT_EQ(form->IdTCPServer1.ConnectionThreads(), 0u);
  EXPECT_THROW(RawLine(client), platform::ConnectionClosed);
  const std::vector<std::string> lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], kEnded);
  EXPECT_EQ(lines.back(), kStopped);

  form->StopServer();  // a stopped server only says so
  EXPECT_EQ(Count(kStopped), 2);

  // The same when the window goes with a client still connected.
  form->RunServer();
  const int again = form->IdTCPServer1.Port();
  client = OnWorker([again] {
    TcpConnection c = Greeted(kHost, again);
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  });
  test::MustNotHang([&] { form.reset(); }, kPumpLimit);
  EXPECT_THROW(RawLine(client), platform::ConnectionClosed);
}

TEST_F(StationWindowTest, RestartAfterStopListensOnEachNetworkAddressAgain) {
  form->local_addresses = [] { return std::vector<std::string>{"127.0.0.1", "127.0.0.2"}; };
  form->RunServer();
  ASSERT_TRUE(form->IdTCPServer1.Active());
  TheSettings().InPort = form->IdTCPServer1.Port();  // the same port after the restart
  form->StopServer();
  form->MainMenu1.Find({W("Связь"_w), W("Прослушивающий сервер"_w), W("Запуск"_w)})->on_click();
  ASSERT_TRUE(form->IdTCPServer1.Active());
  const int port = form->IdTCPServer1.Port();
  EXPECT_EQ(port, TheSettings().InPort.load());
  EXPECT_EQ(Count(W("Обнаружено несколько сетей: 127.0.0.1;127.0.0.2;"_w)), 2);
  EXPECT_EQ(Count(kStarted), 2);

  for (const char* address : {"127.0.0.1", "127.0.0.2"})
    EXPECT_EQ(OnWorker([&] { return RawLine(Greeted(address, port)); }), "OK") << address;
  // Bound to the two addresses, not to all of them.
  EXPECT_THROW(TcpConnection::Connect("127.0.0.3", port, kWaitMs), Error);

  // A port already taken: the start fails and says so.
  form->StopServer();
  platform::TcpListener busy("", 0);
  TheSettings().InPort = busy.Port();
  form->RunServer();
  EXPECT_FALSE(form->IdTCPServer1.Active());
  EXPECT_EQ(Lines().back().rfind(W("Не удалось запустить сервер: "_w), 0), 0u) << Lines().back();
}

TEST_F(StationWindowTest, OutgoingConnectionToAScriptedOffice) {
  platform::TcpListener office(kHost, 0);
  auto script = [&](std::string reply) {
    return std::async(std::launch::async, [&office, reply] {
      auto c = office.Accept(kWaitMs);
      c->SetReadTimeout(kWaitMs);
      RawWrite(*c, "OK");
      std::string seen = RawLine(*c);  // the name
      seen += "|" + RawLine(*c);       // the password line
      RawWrite(*c, reply);
      try {
        RawLine(*c);  // until the station closes
      } catch (const platform::ConnectionClosed&) {
      }
      return seen;
    });
  };
  const std::string opening = W("Исходящее подключение к офису: 127.0.0.1("_w) + std::to_string(office.Port()) + ")";

  auto accepted = script("OK");
  protocol::Session client;
  EXPECT_TRUE(OnWorker([&] { return form->ConnectToServer(client, kHost, office.Port()); }));
  EXPECT_FALSE(form->ConnectToServer(client, kHost, office.Port()));
  EXPECT_TRUE(form->DisconnectFromServer(client));
  EXPECT_EQ(accepted.get(), W("АЗС 3|NOPASS"_w));
  EXPECT_EQ(Lines(), (std::vector<std::string>{opening, W("Исходящее подключение установленно"_w),
                                               W("Подключение уже установлено с 127.0.0.1"_w),
                                               W("Исходящее подключение разорвано"_w)}));

  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  auto refused = script("PASS");
  EXPECT_FALSE(form->ConnectToServer(client, kHost, office.Port()));
  EXPECT_EQ(refused.get(), W("АЗС 3|Secret"_w));
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(Lines().back(), W("Ошибка при подключении к офису: Не удалось подключиться к серверу: "
                              "Неправильный пароль или не настроена безопасность соединения"_w));
}

TEST_F(StationWindowTest, AddressBoxAndLogSwitch) {
  ui::ComboBox& box = form->cb_IP;
  EXPECT_EQ(box.items, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));  // no empty entry
  EXPECT_EQ(box.caption, "10.0.0.1");
  box.caption = "10.0.0.9";
  box.on_key_up(65);  // any other key: nothing
  EXPECT_EQ(State().remembered_addresses.front(), "10.0.0.1");
  box.on_key_up(13);
  EXPECT_EQ(box.items.front(), "10.0.0.9");
  EXPECT_EQ(State().remembered_addresses.front(), "10.0.0.9");
  box.caption = W("10.0.0.9ё"_w);  // the recall key has typed its letter first
  box.on_key_up(192);
  EXPECT_EQ(box.caption, "10.0.0.9");

  form->cb_EnLog.checked = false;
  form->cb_EnLog.on_click();
  EXPECT_EQ(form->client_height, 160);
  form->cb_EnLog.checked = true;
  form->cb_EnLog.on_click();
  EXPECT_EQ(form->client_height, 400);
}

TEST_F(StationWindowTest, EscHidesTheWindowAndTheListenerGoesOn) {
  form->RunServer();
  form->left = 40;
  form->Show();
  EXPECT_EQ(form->StatusBar1.panels[0].text, W("IP адрес: 127.0.0.1"_w));
  EXPECT_TRUE(form->ShortCut(27));
  EXPECT_FALSE(form->visible);
  const int port = form->IdTCPServer1.Port();
  EXPECT_EQ(OnWorker([port] { return RawLine(Greeted(kHost, port)); }), "OK");
  EXPECT_TRUE(WaitFor(kAccepted));

  form->left = 0;
  form->Show();
  EXPECT_EQ(form->left, 40);  // the place kept by Esc
  form->Close();  // hides as well, and empties the log
  EXPECT_FALSE(form->visible);
  EXPECT_TRUE(form->log.items.empty());
  EXPECT_TRUE(form->IdTCPServer1.Active());
}

TEST_F(StationWindowTest, SendButtonAsksWhileAnExchangeIsMarkedRunning) {
  std::vector<std::string> boxes;
  ui::Operator::instance().SetObserver(
      [&](const std::string& caption, const std::string& text, ui::Answer) { boxes.push_back(caption + "|" + text); });
  form->start_exchange = nullptr;  // nothing to start
  form->bSendToOffice.Click();
  EXPECT_EQ(Count(W("Отправка отчета в офис пока недоступна"_w)), 1);
  EXPECT_FALSE(form->exchange_running);

  int started = 0;
  form->start_exchange = [&] { ++started; };
  form->bSendToOffice.Click();
  EXPECT_TRUE(form->exchange_running);
  ui::Operator::instance().QueueAnswer(ui::Answer::No);
  form->bSendToOffice.Click();
  EXPECT_EQ(started, 1);
  ui::Operator::instance().QueueAnswer(ui::Answer::Yes);
  form->bSendToOffice.Click();
  EXPECT_EQ(started, 2);
  EXPECT_EQ(boxes, std::vector<std::string>(2, "|" + W("Возможно предыдущий сеанс связи еще не закончен!\r\n"
                                                        "Начать новый сеанс связи?"_w)));
}

}  // namespace
}  // namespace pw::station
