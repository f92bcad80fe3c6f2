// The handshakes and the command loop between a real session and a scripted
// peer over loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>

#include "process_state.h"
#include "raw_peer.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "protocol/command_loop.h"
#include "protocol/handshake.h"
#include "services/folders.h"
#include "services/settings.h"
#include "services/wire_context.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw::protocol {
namespace {

using test::RawLine;
using test::RawWrite;

using platform::TcpConnection;
using platform::TcpListener;

constexpr const char* kHost = test::kLoopback;
using test::kWaitMs;

class HandshakeTest : public test::ProcessStateTest {
 protected:
  HandshakeTest() : ProcessStateTest(MainThread::kNone) {}
  void SetUp() override {
    platform::CreateDirectories(CurrentFolders().log_files);
    ui::Operator::instance().SetObserver(
        [this](const std::string&, const std::string& text, ui::Answer) { boxes.push_back(text); });
  }
  std::string Log() const { return test::ReadFile(CurrentFolders().log_file); }
  bool Logged(std::string_view text) const { return Log().find(text) != std::string::npos; }

  // A listener peer that runs script on the accepted connection.
  std::future<void> Peer(std::function<void(TcpConnection&)> script) {
    return std::async(std::launch::async, [this, script] {
      auto c = listener.Accept(kWaitMs);
      ASSERT_TRUE(c.has_value());
      script(*c);
    });
  }

  // An accepted session for the listener-side tests, with a raw client.
  struct Accepted {
    TcpConnection client, server;
  };
  Accepted Connected() {
    Accepted a;
    a.client = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
    a.server = std::move(*listener.Accept(kWaitMs));
    a.client.SetReadTimeout(kWaitMs);
    return a;
  }

  test::TempFolder root;
  TcpListener listener{kHost, 0};
  std::vector<std::string> boxes;
};

TEST_F(HandshakeTest, StationListenerAcceptsAnyPasswordWhenNoneIsSet) {
  Accepted a = Connected();
  RawWrite(a.client, "whatever");
  Session session(a.server);
  const auto result = ListenerHandshake(session, {CurrentWireContext(), End::Station, nullptr, [] { return std::string("АЗС 3"_w); }, {}, {}});
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(RawLine(a.client), "OK");
  EXPECT_EQ(RawLine(a.client), std::string("АЗС 3"_w));
  EXPECT_EQ(RawLine(a.client), "OK");
  EXPECT_TRUE(Logged("Устанавливается входящее соединение..."_w));
  EXPECT_TRUE(Logged("Входящее соединение установленно, IP: 127.0.0.1. Пароль верен или не установлен"_w));
}

TEST_F(HandshakeTest, OfficeListenerRefusesAPasswordThatDiffersInCaseAndCloses) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  TheSettings().useFastDatTravel = true;
  Accepted a = Connected();
  RawWrite(a.client, "АЗС 3"_w.data());
  RawWrite(a.client, "secret");
  Session session(a.server);
  bool registered = false;
  std::string named;  // the latest station's name is known before its password is checked
  const auto result = ListenerHandshake(
      session, {CurrentWireContext(), End::Office, nullptr, {}, [&](const std::string&, const std::string&) { registered = true; },
                [&](const std::string& n) { named = n; }});
  EXPECT_FALSE(result.accepted);
  EXPECT_FALSE(registered);
  EXPECT_EQ(named, std::string("АЗС 3"_w));
  EXPECT_EQ(RawLine(a.client), "OKF");  // the office's greeting when fast transfer is on
  EXPECT_EQ(RawLine(a.client), "PASS");
  EXPECT_THROW(RawLine(a.client), platform::ConnectionClosed);
  EXPECT_TRUE(Logged("Попытка подключения: IP: 127.0.0.1 прервана из-за неверного пароля"_w));
}

// Passwords on with none stored well: even the empty line the station sends
// for an empty password is refused.
TEST_F(HandshakeTest, AnUnusablePasswordRefusesEveryLineEvenTheEmptyOne) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("");
  TheSettings().PasswordUnusable = true;
  Accepted a = Connected();
  RawWrite(a.client, "");
  Session session(a.server);
  EXPECT_FALSE(ListenerHandshake(session, {CurrentWireContext(), End::Station, nullptr,
                                           [] { return std::string("x"); }, {}, {}})
                   .accepted);
  EXPECT_EQ(RawLine(a.client), "OK");
  EXPECT_EQ(RawLine(a.client), "x");
  EXPECT_EQ(RawLine(a.client), "PASS");
}

TEST_F(HandshakeTest, OfficeListenerRegistersTheStationNameWithItsAddress) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  Accepted a = Connected();
  RawWrite(a.client, "АЗС 3"_w.data());
  RawWrite(a.client, "Secret");
  Session session(a.server);
  std::string seen;
  const auto result = ListenerHandshake(
      session, {CurrentWireContext(), End::Office, nullptr, {}, [&](const std::string& n, const std::string& ip) { seen = n + "@" + ip; }, {}});
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(seen, std::string("АЗС 3"_w) + "@127.0.0.1");
  EXPECT_TRUE(Logged(" - \r\n" + std::string("Входящее соединение установленно, имя АЗС: АЗС 3, IP: 127.0.0.1. Пароль верен"_w)));
}

TEST_F(HandshakeTest, AHandshakeErrorIsLoggedAndTheConnectionClosed) {
  Accepted a = Connected();
  RawWrite(a.client, std::string(kMaxLineLength + 1, 'p'));  // a password line past the limit
  Session session(a.server);
  EXPECT_FALSE(ListenerHandshake(session, {CurrentWireContext(), End::Station, nullptr, [] { return std::string("x"); }, {}, {}}).accepted);
  EXPECT_TRUE(Logged("Ошибка входящего подключения: Max line length exceeded."_w));
  RawLine(a.client);  // greeting
  RawLine(a.client);  // name
  EXPECT_THROW(RawLine(a.client), platform::ConnectionClosed);
}

TEST_F(HandshakeTest, StationConnectorSendsNameAndNopassAndLogsSuccess) {
  auto peer = Peer([](TcpConnection& c) {
    RawWrite(c, "OK");
    EXPECT_EQ(RawLine(c), std::string("АЗС 3"_w));
    EXPECT_EQ(RawLine(c), "NOPASS");
    RawWrite(c, "OK");
  });
  Session session;
  const auto name = ConnectorHandshake(session, kHost, listener.Port(),
                                       {CurrentWireContext(), Connector::Station, nullptr, [] { return std::string("АЗС 3"_w); }});
  peer.get();
  ASSERT_TRUE(name.has_value());
  EXPECT_TRUE(Logged(std::string("Исходящее подключение к офису: 127.0.0.1("_w) +
                     std::to_string(listener.Port()) + ")"));
  EXPECT_TRUE(Logged("Исходящее подключение установленно"_w));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HandshakeTest, RefusedPasswordAndSilentListenerBothFailWithThePasswordText) {
  const std::string refusal =
      "Не удалось подключиться к серверу: Неправильный пароль или не настроена безопасность соединения"_w.data();
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("pw");
  auto refusing = Peer([](TcpConnection& c) {
    RawWrite(c, "OK");
    EXPECT_EQ(RawLine(c), "ST-1");
    EXPECT_EQ(RawLine(c), "pw");
    RawWrite(c, "PASS");
  });
  Session first;
  try {
    ConnectorHandshake(first, kHost, listener.Port(), {CurrentWireContext(), Connector::Station, nullptr, [] { return std::string("ST-1"); }});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), refusal);
  }
  refusing.get();
  EXPECT_FALSE(first.Connected());

  // Never a greeting: every read times out into an empty line.
  TheSettings().ReadTimeOut = 150;
  std::promise<void> finished;
  auto silent = Peer([&](TcpConnection& c) {
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), "ST-1");
    EXPECT_EQ(RawLine(c), "pw");
    finished.get_future().wait();
  });
  Session second;
  EXPECT_THROW(ConnectorHandshake(second, kHost, listener.Port(),
                                  {CurrentWireContext(), Connector::Station, nullptr, [] { return std::string("ST-1"); }}),
               Error);
  finished.set_value();
  silent.get();
}

TEST_F(HandshakeTest, GreetingThatDiffersAsksAndTheAnswerDecidesTheMode) {
  const auto run = [&](const std::string& greeting, Connector kind) {
    auto peer = Peer([&](TcpConnection& c) {
      RawWrite(c, greeting);
      RawWrite(c, "АЗС 3"_w.data());  // office and TV connectors read the name
      EXPECT_EQ(RawLine(c), "NOPASS");
      RawWrite(c, "OK");
    });
    Session session;
    const auto name = ConnectorHandshake(session, kHost, listener.Port(), {CurrentWireContext(), kind, nullptr, {}});
    peer.get();
    EXPECT_EQ(name.value_or(""), std::string("АЗС 3"_w));
  };
  Settings& s = TheSettings();
  ui::Operator::instance().QueueAnswer(ui::Answer::Cancel);
  run("OKF", Connector::Office);
  EXPECT_FALSE(s.useFastDatTravel);
  EXPECT_EQ(s.InetBuffSize, 128);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("На удаленной стороне включена ускоренная передача данных.\r"_w, 0), 0u);

  ui::Operator::instance().QueueAnswer(ui::Answer::Ok);
  run("OKF", Connector::Office);
  EXPECT_TRUE(s.useFastDatTravel);
  EXPECT_EQ(s.InetBuffSize, 256000);
  EXPECT_TRUE(Logged("Исходящее подключение установленно. АЗС: АЗС 3"_w));

  ui::Operator::instance().QueueAnswer(ui::Answer::Ok);
  run("OK", Connector::Office);
  EXPECT_FALSE(s.useFastDatTravel);
  EXPECT_EQ(s.InetBuffSize, 128);
  EXPECT_EQ(boxes.size(), 3u);

  run("OKF", Connector::TV);  // the TV stream switches without asking
  EXPECT_TRUE(s.useFastDatTravel);
  EXPECT_EQ(boxes.size(), 3u);
}

TEST_F(HandshakeTest, CommandLoopIgnoresUnknownLinesAndStopsWhenThePeerCloses) {
  Accepted a = Connected();
  std::vector<std::string> ran;
  const std::vector<Command> commands = {
      {"SEND_TEXT", [&](Session& s) { ran.push_back("text:" + s.ReadLine()); }},
      {"SEND_MYIP", [&](Session&) { ran.push_back("ip"); }},
  };
  RawWrite(a.client, "send_text");  // case matters: ignored
  RawWrite(a.client, "SEND_TEXT");
  RawWrite(a.client, "hello");
  RawWrite(a.client, "SEND_MYIP");
  a.client.Disconnect();
  Session session(a.server);
  ServeCommands(session, commands);
  EXPECT_EQ(ran, (std::vector<std::string>{"text:hello", "ip"}));
}

TEST_F(HandshakeTest, WireElementsAreExact) {
  Accepted a = Connected();
  Session s(a.server);
  s.WriteInt4(1);
  s.WriteInt4(-2);
  s.WriteNumberLine(-300);
  unsigned char bytes[14];
  a.client.ReadExact(bytes, sizeof bytes);
  const unsigned char want[14] = {0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE, '-', '3', '0', '0', '\r', '\n'};
  EXPECT_EQ(std::memcmp(bytes, want, sizeof want), 0);

  a.client.Write("lf only\nbare\r\r\n2147483647\r\n2147483648\r\n+5\r\n\r\n");
  EXPECT_EQ(s.ReadLine(), "lf only");
  EXPECT_EQ(s.ReadLine(), "bare\r");  // only the one CR before the LF goes
  EXPECT_EQ(s.ReadNumberLine(), 2147483647);
  EXPECT_THROW(s.ReadNumberLine(), Error);  // past 32 bits
  EXPECT_THROW(s.ReadNumberLine(), Error);  // a sign the peer never writes
  EXPECT_THROW(s.ReadNumberLine(), Error);  // empty

  a.client.Write(std::string(kMaxLineLength, 'x') + "\r\n");  // CR is the 16385th byte
  EXPECT_THROW(s.ReadLine(), Error);
}

TEST_F(HandshakeTest, ALineReadThatTimesOutKeepsWhatCameForTheNextRead) {
  Accepted a = Connected();
  a.server.SetReadTimeout(100);
  Session s(a.server);
  a.client.Write("hal");
  EXPECT_THROW(s.ReadLine(), platform::ReadTimeout);
  a.client.Write("f\r\nnext\r\n");
  EXPECT_EQ(s.ReadLine(), "half");
  EXPECT_EQ(s.ReadLine(), "next");

  // Twice in a row, with the wire's next element after the line.
  a.client.Write("ab");
  EXPECT_THROW(s.ReadLine(), platform::ReadTimeout);
  a.client.Write("cd");
  EXPECT_THROW(s.ReadLine(), platform::ReadTimeout);
  a.client.Write(std::string("e\r\n") + '\0' + '\0' + '\0' + '\x07');
  EXPECT_EQ(s.ReadLine(), "abcde");
  EXPECT_EQ(s.ReadInt4(), 7);
}

TEST_F(HandshakeTest, OutgoingReadsTimeOutAsEmptyLinesButBlocksRaise) {
  auto peer = Peer([](TcpConnection& c) {
    c.SetReadTimeout(kWaitMs);
    RawLine(c);  // waits until the session below is done
  });
  Session s;
  s.SetReadTimeout(100);
  s.Connect(kHost, listener.Port(), kWaitMs);
  EXPECT_EQ(s.ReadLine(), "");
  char block[4];
  try {
    s.ReadBlock(block, 4);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Read Timeout");
  }
  s.WriteLine("bye");
  peer.get();
}

// A stop from another thread ends a session at once: one waiting in a read,
// and one whose connection was still being made when the stop came.
TEST_F(HandshakeTest, ACancelledSessionFailsItsReadsAtOnceEvenIfItConnectsLater) {
  Session waiting;
  waiting.SetReadTimeout(0);  // no limit: only the cancel can end the read
  waiting.Connect(kHost, listener.Port(), kWaitMs);
  std::thread stopper([&] { waiting.Cancel(); });
  EXPECT_THROW(waiting.ReadLine(), platform::ConnectionClosed);
  stopper.join();

  Session late;
  late.Cancel();
  late.Connect(kHost, listener.Port(), kWaitMs);
  EXPECT_FALSE(late.Connected());
  EXPECT_THROW(late.ReadLine(), platform::ConnectionClosed);
}

// A stop also ends a connect that is still under way and has no time limit:
// a listener whose queue is full drops the new connection's SYN, so the
// connect would wait for ever.
TEST_F(HandshakeTest, ACancelEndsAConnectUnderWay) {
  platform::TcpListener full(kHost, 0, /*backlog=*/0);
  Session first;
  first.Connect(kHost, full.Port(), kWaitMs);  // fills the queue
  Session stuck;
  std::promise<void> ended;
  std::thread connector([&] {
    try {
      stuck.Connect(kHost, full.Port(), /*connect_timeout_ms=*/0);
    } catch (const Error&) {
    }
    ended.set_value();
  });
  stuck.Cancel();
  EXPECT_EQ(ended.get_future().wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready);
  connector.join();
  EXPECT_FALSE(stuck.Connected());
}

}  // namespace
}  // namespace pw::protocol
