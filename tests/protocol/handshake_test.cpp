// The handshakes and the command loop between a real session and a scripted
// peer over loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "process_state.h"
#include "raw_peer.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "protocol/command_loop.h"
#include "protocol/handshake.h"
#include "protocol/listener_limits.h"
#include "protocol/password_attempts.h"
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

// --------------------------------------------------------------------------
// What holds a listener against hostile peers

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

TEST(HandshakeLimit, HandshakeTimeOutWhateverTheReadLimit) {
  WireSettings s;
  EXPECT_EQ(HandshakeLimitMs(s), 60000) << "a minute by default";
  for (int read : {10000, 300, 0, -1}) {
    s.ReadTimeOut = read;
    EXPECT_EQ(HandshakeLimitMs(s), 60000) << read;
  }
  s.HandshakeTimeOut = 90000;
  EXPECT_EQ(HandshakeLimitMs(s), 90000);
  for (int none : {0, -1}) {
    s.HandshakeTimeOut = none;
    EXPECT_EQ(HandshakeLimitMs(s), 60000) << "no setting turns the limit off";
  }
}

// A connector whose operator answers the transfer-mode question takes its
// time between the greeting and the name line: longer than a read may wait,
// within HandshakeTimeOut, it passes.
TEST_F(HandshakeTest, AConnectorThatPausesAfterTheGreetingPassesWithinHandshakeTimeOut) {
  TheSettings().ReadTimeOut = 200;
  TheSettings().HandshakeTimeOut = 3000;
  Accepted a = Connected();
  auto connector = std::async(std::launch::async, [&] {
    EXPECT_EQ(RawLine(a.client), "OK");
    std::this_thread::sleep_for(600ms);  // the operator reads the question and answers it
    RawWrite(a.client, "АЗС 3"_w.data());
    RawWrite(a.client, "NOPASS");
    return RawLine(a.client);
  });
  Session session(a.server);
  EXPECT_TRUE(ListenerHandshake(session, {CurrentWireContext(), End::Office, nullptr, {}, {}, {}})
                  .accepted);
  EXPECT_EQ(connector.get(), "OK");
}

// A peer that sends nothing, and one that trickles its name a byte at a
// time, are both cut at the one limit of the whole handshake, and the cut is
// logged with the peer's address.
TEST_F(HandshakeTest, SilentAndTricklingPeersAreCutAtTheHandshakeLimit) {
  TheSettings().HandshakeTimeOut = 300;
  {
    Accepted a = Connected();
    Session session(a.server);
    const auto start = SteadyClock::now();
    EXPECT_FALSE(ListenerHandshake(session, {CurrentWireContext(), End::Station, nullptr,
                                             [] { return std::string("x"); }, {}, {}})
                     .accepted);
    EXPECT_GE(SteadyClock::now() - start, 300ms);
    EXPECT_TRUE(Logged("Ошибка входящего подключения: Read Timeout, IP: 127.0.0.1"_w));
  }
  Accepted a = Connected();
  std::optional<test::TricklingPeer> trickle(std::in_place, a.client);
  Session session(a.server);
  const auto start = SteadyClock::now();
  EXPECT_FALSE(ListenerHandshake(session, {CurrentWireContext(), End::Office, nullptr, {}, {}, {}})
                   .accepted);
  const auto took = SteadyClock::now() - start;
  trickle.reset();
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, std::chrono::milliseconds(kWaitMs));
  EXPECT_TRUE(Logged("Ошибка при подключении: Read Timeout, IP: 127.0.0.1"_w));
}

// An office waits for "Send_file" as long as the station's host works.
TEST_F(HandshakeTest, TheCommandsAfterTheHandshakeWaitWithoutItsLimit) {
  TheSettings().ReadTimeOut = 50;
  Accepted a = Connected();
  RawWrite(a.client, "АЗС 3"_w.data());
  RawWrite(a.client, "any");
  Session session(a.server);
  ASSERT_TRUE(ListenerHandshake(session, {CurrentWireContext(), End::Office, nullptr, {}, {}, {}})
                  .accepted);
  std::this_thread::sleep_for(80ms);  // past the handshake's limit
  RawWrite(a.client, "Send_file");
  EXPECT_EQ(session.ReadLine(), "Send_file");
}

// A station name that carries a line break cannot forge a log line.
TEST_F(HandshakeTest, AStationNameIsLoggedWithItsControlBytesVisible) {
  Accepted a = Connected();
  RawWrite(a.client, "АЗС\r01.01.2026 00:00:00:000 - forged\x1b"_w.data());
  RawWrite(a.client, "any");
  Session session(a.server);
  ASSERT_TRUE(ListenerHandshake(session, {CurrentWireContext(), End::Office, nullptr, {}, {}, {}})
                  .accepted);
  EXPECT_TRUE(Logged("имя АЗС: АЗС\\x0D01.01.2026 00:00:00:000 - forged\\x1B, IP: 127.0.0.1"_w));
  EXPECT_FALSE(Logged("\r01.01.2026"));
}

TEST(PasswordAttempts, WrongOnesPutTheTurnFurtherOffAndARightOneClearsIt) {
  PasswordAttempts table;
  const auto far = SteadyClock::now() + 1h;
  auto at_once = [&](const std::string& address) {
    const auto turn = table.Turn(address, far);
    return turn && *turn <= SteadyClock::now();
  };
  EXPECT_TRUE(at_once("10.0.0.1")) << "nothing on record: judged at once";
  const auto now = SteadyClock::now();
  table.Wrong("10.0.0.1");
  const auto first = *table.Turn("10.0.0.1", far);
  EXPECT_GE(first, now + PasswordAttempts::kStep);
  // A second connection of the same address queues behind the first.
  const auto second = *table.Turn("10.0.0.1", far);
  EXPECT_GE(second, first + PasswordAttempts::kStep);
  table.Wrong("10.0.0.1");
  EXPECT_GE(*table.Turn("10.0.0.1", far), second + PasswordAttempts::kStep);
  EXPECT_TRUE(at_once("10.0.0.2")) << "another address is not held up";
  EXPECT_FALSE(table.Turn("10.0.0.1", SteadyClock::now() + 100ms)) << "a turn past the limit";
  table.Right("10.0.0.1");
  EXPECT_TRUE(at_once("10.0.0.1"));
  EXPECT_EQ(table.Addresses(), 0u);

  for (std::size_t i = 0; i < PasswordAttempts::kMaxAddresses + 50; ++i)
    table.Wrong("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256));
  EXPECT_EQ(table.Addresses(), PasswordAttempts::kMaxAddresses);
}

// Many addresses guessing in turn: their judged passwords are spread over
// one budget; an address with nothing on record is judged at once.
TEST(PasswordAttempts, AddressesWithWrongPasswordsShareOneBudget) {
  PasswordAttempts table;
  const auto far = SteadyClock::now() + 1h;
  for (int i = 0; i < 50; ++i) table.Wrong("10.2.0." + std::to_string(i));
  std::vector<SteadyClock::time_point> turns;
  for (int i = 0; i < 50; ++i) turns.push_back(*table.Turn("10.2.0." + std::to_string(i), far));
  std::sort(turns.begin(), turns.end());
  for (std::size_t i = 1; i < turns.size(); ++i)
    EXPECT_GE(turns[i] - turns[i - 1], PasswordAttempts::kGlobalStep) << i;
  const auto turn = table.Turn("10.3.0.1", far);
  ASSERT_TRUE(turn);
  EXPECT_LE(*turn, SteadyClock::now()) << "nothing on record: judged at once";
}

// Addresses with nothing on record are judged at once up to their rate's
// burst; many more, each guessing once, wait their turns at that rate.
TEST(PasswordAttempts, FreshAddressesBeyondTheirRateWaitTheirTurns) {
  PasswordAttempts table;
  const auto start = SteadyClock::now();
  const auto far = start + 1h;
  std::vector<SteadyClock::time_point> turns;
  const int burst = PasswordAttempts::kFreshPerSecond * 2;
  const int n = burst + 50;
  for (int i = 0; i < n; ++i) turns.push_back(*table.Turn("10.4." + std::to_string(i), far));
  EXPECT_LE(turns[burst - 1], SteadyClock::now()) << "a burst's worth at once";
  // Past the burst every turn is on the rate's schedule (the first of them
  // follows one taken at the moment of its call).
  for (std::size_t i = burst + 2; i < turns.size(); ++i)
    EXPECT_GE(turns[i] - turns[i - 1], PasswordAttempts::kFreshStep - 1ms) << i;
  EXPECT_GE(turns.back() - start, (n - burst - 1) * PasswordAttempts::kFreshStep);
  EXPECT_FALSE(table.Turn("10.4.1.1", start + 100ms)) << "a turn past the limit";
}

TEST_F(HandshakeTest, WrongPasswordsCostTheAddressAGrowingWait) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  PasswordAttempts attempts;
  // The answer, when the attempt began and when its answer was read. A
  // wrong password sets the address's next turn when it is judged, after its
  // attempt began: the next answer comes at least the wait after that start.
  struct Attempt {
    std::string answer;
    SteadyClock::time_point started, answered;
  };
  auto attempt = [&](const std::string& password) {
    const auto started = SteadyClock::now();
    Accepted a = Connected();
    RawWrite(a.client, "АЗС 3"_w.data());
    RawWrite(a.client, password);
    Session session(a.server);
    ListenerSide side{CurrentWireContext(), End::Office, nullptr, {}, {}, {}, &attempts};
    ListenerHandshake(session, side);
    RawLine(a.client);  // greeting
    const std::string answer = RawLine(a.client);
    return Attempt{answer, started, SteadyClock::now()};
  };
  const Attempt first = attempt("guess 1");
  EXPECT_EQ(first.answer, "PASS");
  const Attempt second = attempt("guess 2");
  EXPECT_EQ(second.answer, "PASS");
  EXPECT_GE(second.answered - first.started, PasswordAttempts::kStep);
  const Attempt right = attempt("Secret");
  EXPECT_EQ(right.answer, "OK");
  EXPECT_GE(right.answered - second.started, 2 * PasswordAttempts::kStep) << "the wait grows";
  EXPECT_EQ(attempts.Addresses(), 0u) << "a right password clears the record";
  EXPECT_FALSE(Logged("guess")) << "no password in the log";
  EXPECT_FALSE(Logged("Secret"));
}

// A turn that comes after the handshake's limit: refused at once, unjudged.
TEST_F(HandshakeTest, AnAddressWithManyWrongPasswordsIsTurnedAwayAtOnce) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  TheSettings().HandshakeTimeOut = 1000;
  PasswordAttempts attempts;
  for (int i = 0; i < 8; ++i) attempts.Wrong(test::kLoopback);
  Accepted a = Connected();
  RawWrite(a.client, "x");
  RawWrite(a.client, "Secret");
  Session session(a.server);
  EXPECT_FALSE(ListenerHandshake(session, {CurrentWireContext(), End::Station, nullptr,
                                           [] { return std::string("x"); }, {}, {}, &attempts})
                   .accepted);
  RawLine(a.client);
  RawLine(a.client);
  EXPECT_EQ(RawLine(a.client), "PASS");
  EXPECT_TRUE(Logged("Попытка подключения: IP: 127.0.0.1 отклонена: с этого адреса недавно вводились неверные пароли"_w));
}

// A stop of the listener disconnects the connection: the wait for the
// address's turn ends then, not at the turn.
TEST_F(HandshakeTest, AStopCutsThePasswordWaitShort) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("Secret");
  PasswordAttempts attempts;
  for (int i = 0; i < 8; ++i) attempts.Wrong(test::kLoopback);  // the turn is seconds away
  Accepted a = Connected();
  RawWrite(a.client, "x");
  RawWrite(a.client, "guess");
  Session session(a.server);
  auto handshake = std::async(std::launch::async, [&] {
    return ListenerHandshake(session, {CurrentWireContext(), End::Station, nullptr,
                                       [] { return std::string("x"); }, {}, {}, &attempts});
  });
  RawLine(a.client);  // greeting
  RawLine(a.client);  // name: the password is being judged
  const auto stop = SteadyClock::now();
  a.server.Disconnect();
  EXPECT_FALSE(handshake.get().accepted);
  EXPECT_LT(SteadyClock::now() - stop, PasswordAttempts::kLongestWait / 2);
}

TEST_F(HandshakeTest, CommandErrorsAreLoggedWithTheAddressAndACloseIsNot) {
  const std::vector<Command> commands = {
      {"SEND_TEXT", [](Session& s) { throw Error("bad line '" + s.ReadLine() + "'"); }},
  };
  // (Converted at run time: clang 14 crashes evaluating this literal here.)
  const std::string prefix = text::cp1251_from_utf8("Ошибка при обработке команд, IP: 127.0.0.1: ");
  {
    Accepted a = Connected();
    RawWrite(a.client, std::string(kMaxLineLength + 1, 'c'));
    Session session(a.server);
    ServeCommandsLoggingErrors(session, commands, CurrentWireContext(), nullptr);
    EXPECT_TRUE(Logged(prefix + "Max line length exceeded."));
  }
  {
    Accepted a = Connected();
    RawWrite(a.client, "SEND_TEXT");
    RawWrite(a.client, "x\ry");
    Session session(a.server);
    ServeCommandsLoggingErrors(session, commands, CurrentWireContext(), nullptr);
    EXPECT_TRUE(Logged(prefix + "bad line 'x\\x0Dy'"));
  }
  const std::size_t before = Log().size();
  Accepted a = Connected();
  RawWrite(a.client, "SEND_TEXT");
  a.client.Disconnect();  // closes in the middle of the command
  Session session(a.server);
  ServeCommandsLoggingErrors(session, commands, CurrentWireContext(), nullptr);
  EXPECT_EQ(Log().size(), before);
}

TEST_F(HandshakeTest, ListenerCapsComeFromTheSettingsAndRefusalsReadAsLogLines) {
  EXPECT_EQ(ListenerLimits().connections, 1024u);
  EXPECT_EQ(ListenerLimits().per_address, 256u);
  TheSettings().MaxConnections = 0;  // would shut out all but one: the default stands
  TheSettings().MaxConnectionsPerIP = 5000;
  EXPECT_EQ(ListenerLimits().connections, 1024u);
  EXPECT_EQ(ListenerLimits().per_address, 5000u);

  using R = platform::TcpServer::Refusals;
  EXPECT_EQ(RefusalLine(R{false, "10.0.0.7", true, 256, 1}),
            std::string("Слишком много входящих подключений с IP: 10.0.0.7 (256), новые отклоняются"_w));
  EXPECT_EQ(RefusalLine(R{false, "10.0.0.7", false, 1024, 1}),
            std::string("Слишком много входящих подключений (1024), новые отклоняются; первое отклонено с IP: 10.0.0.7"_w));
  EXPECT_EQ(RefusalLine(R{true, "10.0.0.7", false, 1024, 4000}),
            std::string("Отклонено входящих подключений: 4000"_w));
  EXPECT_EQ(RefusalLine(R{false, "10.0.0.8", false, 768, 1, /*made_room=*/true}),
            std::string("Закрыто подключение с IP: 10.0.0.8, чтобы освободить место (768)"_w));
  EXPECT_EQ(RefusalLine(R{true, "10.0.0.8", false, 768, 900, /*made_room=*/true}),
            std::string("Закрыто подключений, чтобы освободить место: 900"_w));
}

}  // namespace
}  // namespace pw::protocol
