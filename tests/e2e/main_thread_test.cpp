// The host's commands against the plug-in's waits on the main thread: a
// wait for a worker never runs the host's next command, a failing command or
// timer is told and the host goes on, and a stop or UnLoad right after a
// burst of connections never strands the connections' log lines.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <list>
#include <optional>
#include <thread>

#include "host_process.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"
#include "thread_signals.h"

namespace pw::test {
namespace {

using namespace std::chrono_literals;

// Bound for a process that must end at once; a hang shows as -1.
constexpr auto kExitLimit = 10s;

std::vector<std::string> HostArgs(const std::string& mode, const TempFolder& root, int in_port,
                                  std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {mode, "--root", root.path(), "--set",
                                   "InPort=" + std::to_string(in_port)};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// The station's and the office's words for their listener's log.
struct Mode {
  const char* name;
  const char* connection_ended;  // a connection's last log line
};
constexpr Mode kModes[] = {{"station", "log: Входящее подключение разорванно"},
                           {"office", "log: Соединение разорванно"}};

// 100 clients that connect and close at once.
void Burst(int port) {
  std::vector<platform::TcpConnection> clients;
  for (int i = 0; i < 100; ++i) {
    try {
      clients.push_back(platform::TcpConnection::Connect(kLoopback, port, kWaitMs));
    } catch (const Error&) {
      // The backlog may be full: the burst goes on.
    }
  }
  for (auto& c : clients) c.Disconnect();
}

// A host of the mode whose listener takes a port of its own.
struct ListeningHost {
  explicit ListeningHost(const char* mode) : host(HostArgs(mode, root, port)) {}
  bool Loaded() { return host.WaitFor("Load:") == "Load: 0"; }
  TempFolder root;
  int port = FreePort();
  HostProcess host;
};

std::size_t Count(const HostProcess& host, const std::string& text) {
  std::size_t n = 0;
  for (const auto& line : host.lines()) n += line.find(text) != std::string::npos;
  return n;
}

TEST(MainThread, ASecondPressAndQuitWhileASessionHangsNeverReenterTheWindow) {
  // An office that accepts and never greets.
  platform::TcpListener silent(kLoopback, 0);
  TempFolder root;
  HostProcess station(HostArgs("station", root, 0,
                               {"--set", "ReadTimeOut=3000", "--set",
                                "OutPort=" + std::to_string(silent.Port())}));
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");
  station.Send("type 127.0.0.1");
  station.Send("press bSendToOffice");
  ASSERT_NE(station.WaitFor("log: Исходящее подключение к офису: 127.0.0.1"), "") << station.Transcript();
  // The session now waits for the greeting: the second press asks and
  // starts another check behind it, without waiting for the first.
  station.Send("press bSendToOffice");
  ASSERT_NE(station.WaitFor("box:  | Возможно предыдущий сеанс связи еще не закончен!"), "")
      << station.Transcript();
  station.Send("quit");
  EXPECT_NE(station.WaitFor("UnLoad: 0"), "") << station.Transcript();
  EXPECT_EQ(station.Finish(kExitLimit), 0) << station.Transcript();
  EXPECT_EQ(station.signal(), 0);
  // UnLoad closed the waiting session instead of waiting out its read, and
  // the check queued behind it ended without a connection.
  EXPECT_EQ(Count(station, "log: Ошибка при подключении к офису: Connection Closed Gracefully."), 1u)
      << station.Transcript();
  EXPECT_EQ(Count(station, "log: Исходящее подключение к офису"), 1u) << station.Transcript();
}

TEST(MainThread, ACommandThatFailsIsToldAndTheHostGoesOn) {
  TempFolder root;
  HostProcess station(HostArgs("station", root, 0));
  ASSERT_EQ(station.WaitFor("Load:"), "Load: 0");
  // The settings file turns into a folder: remembering the address fails.
  std::filesystem::remove(root / "cnf.INI");
  std::filesystem::create_directory(root / "cnf.INI");
  station.Send("type 127.0.0.1");
  EXPECT_NE(station.WaitFor("pumpwire-host: "), "") << station.Transcript();
  station.Send("version");
  EXPECT_NE(station.WaitFor("version: "), "") << station.Transcript();
  station.Send("quit");
  EXPECT_NE(station.WaitFor("UnLoad: 0"), "");
  EXPECT_EQ(station.Finish(kExitLimit), 0) << station.Transcript();
}

// A stop or an UnLoad right after a burst of closing clients waits for the
// connection threads, which wait for the main thread to take their last log
// line: it must.
TEST(MainThread, StopsRightAfterABurstOfClosingClientsNeverHang) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    ListeningHost listening(mode.name);
    ASSERT_TRUE(listening.Loaded());
    HostProcess& host = listening.host;
    const int port = listening.port;
    for (int round = 0; round < 20; ++round) {
      Burst(port);
      host.Send("listener stop");
      ASSERT_NE(host.WaitFor("log: Сервер остановлен"), "") << "round " << round << "\n" << host.Transcript();
      host.Send("listener start");
      ASSERT_NE(host.WaitFor("log: Сервер входящих подключений запущен"), "")
          << "round " << round << "\n" << host.Transcript();
    }
    EXPECT_EQ(Count(host, "Сервер еще останавливается"), 0u);
    EXPECT_GT(Count(host, mode.connection_ended), 0u);
    host.Send("quit");
    EXPECT_EQ(host.Finish(kExitLimit), 0) << host.Transcript();
  }
}

TEST(MainThread, QuitRightAfterABurstOfClosingClientsNeverHangs) {
  for (int round = 0; round < 20; ++round) {
    const Mode& mode = kModes[round % 2];
    SCOPED_TRACE(std::string(mode.name) + " round " + std::to_string(round));
    ListeningHost listening(mode.name);
    ASSERT_TRUE(listening.Loaded());
    HostProcess& host = listening.host;
    const int port = listening.port;
    Burst(port);
    host.Send("quit");
    ASSERT_EQ(host.Finish(kExitLimit), 0) << host.Transcript();
    EXPECT_EQ(Count(host, "UnLoad: 0"), 1u) << host.Transcript();
  }
}

TEST(MainThread, StopsWhileClientsKeepConnectingNeverHang) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    ListeningHost listening(mode.name);
    ASSERT_TRUE(listening.Loaded());
    HostProcess& host = listening.host;
    const int port = listening.port;
    std::atomic<bool> done{false};
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i)
      clients.emplace_back([&] {
        while (!done.load()) {
          try {
            platform::TcpConnection::Connect(kLoopback, port, kWaitMs).Disconnect();
          } catch (const Error&) {
            // Refused while the listener is stopped.
          }
        }
      });
    for (int round = 0; round < 20; ++round) {
      host.Send("listener stop");
      host.Send("listener start");
      if (host.WaitFor("log: Сервер входящих подключений запущен").empty()) break;
    }
    host.Send("quit");
    const int rc = host.Finish(kExitLimit);
    done = true;
    for (auto& c : clients) c.join();
    EXPECT_EQ(rc, 0) << host.Transcript();
    EXPECT_GE(Count(host, "log: Сервер остановлен"), 20u) << host.Transcript();
    EXPECT_EQ(Count(host, "Не удалось"), 0u) << host.Transcript();
  }
}

TEST(MainThread, OutOfFileDescriptorsTheOfficeTellsAndGoesOn) {
#if defined(__SANITIZE_ADDRESS__)
  // This build's undefined-behaviour checker reads a vtable through a pipe
  // of its own: out of descriptors it takes every virtual call for a bad one
  // and stops the process. The normal and thread-checking builds run it.
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
#endif
  if (!HostProcess::CanLimitOpenFiles()) GTEST_SKIP() << "this OS has no limit of open files";
  TempFolder root;
  const int port = FreePort();
  HostProcess office(HostArgs("office", root, port), 64);
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  std::list<platform::TcpConnection> idle;
  for (int i = 0; i < 100; ++i) idle.push_back(platform::TcpConnection::Connect(kLoopback, port, kWaitMs));
  // The log can no longer be opened: told once, not fatal.
  EXPECT_NE(office.WaitFor("pumpwire-host: open "), "") << office.Transcript();
  idle.clear();
  office.Send("version");
  EXPECT_NE(office.WaitFor("version: "), "") << office.Transcript();
  office.Send("quit");
  EXPECT_EQ(office.Finish(kExitLimit), 0) << office.Transcript();
  EXPECT_EQ(office.signal(), 0);
}

// A station that answers each connection one byte at a time, never a whole
// line, each byte well within any read limit, until the connection closes.
class Trickler {
 public:
  Trickler() : thread_([this] { Run(); }) {}
  ~Trickler() {
    stop_ = true;
    thread_.join();
  }
  int port() const { return listener_.Port(); }
  // True once a connection came (within the test's bound).
  bool Connected() { return connected_.try_acquire_for(std::chrono::milliseconds(kWaitMs)); }

 private:
  void Run() {
    while (!stop_) {
      std::optional<platform::TcpConnection> c = listener_.Accept(100);
      if (!c) continue;
      connected_.release();
      try {
        while (!stop_ && !c->WaitReadable(300)) c->Write("x");
        // Readable: the office closed (it sends nothing before a greeting).
      } catch (const Error&) {
        // Closed while writing.
      }
    }
  }

  platform::TcpListener listener_{kLoopback, 0};
  std::atomic<bool> stop_{false};
  Semaphore connected_;
  std::thread thread_;
};

// The office's text to a trickling station, started from the menu on the
// main thread.
struct TrickledText {
  explicit TrickledText(int read_timeout_ms)
      : office(HostArgs("office", root, port,
                        {"--set", "ReadTimeOut=" + std::to_string(read_timeout_ms), "--set",
                         "ConnectTimeOut=1000", "--set",
                         "OutPort=" + std::to_string(station.port())})) {}
  bool Started() {
    if (office.WaitFor("Load:") != "Load: 0") return false;
    office.Send("station АЗС 5 127.0.0.1");
    office.Send("message проверка");
    office.Send("click Связь>Интерактивный обмен>Отправить текстовое сообщение");
    return station.Connected();
  }
  Trickler station;
  TempFolder root;
  int port = FreePort();
  HostProcess office;
};

TEST(MainThread, ATricklingPeerHoldsACommandOnlyToItsBoundAndStationsAreServedMeanwhile) {
  // Reads of 1 s: the bound is the connect's 1 s and six reads, 7 s.
  TrickledText text(1000);
  ASSERT_TRUE(text.Started()) << text.office.Transcript();
  // Meanwhile a station calling the office is greeted: its listener's log
  // lines reach the main thread.
  platform::TcpConnection caller = platform::TcpConnection::Connect(kLoopback, text.port, kWaitMs);
  caller.SetReadTimeout(kWaitMs);
  EXPECT_NE(RawLine(caller), "") << text.office.Transcript();
  // The trickle never ends by itself: only the bound ends the command.
  EXPECT_NE(text.office.WaitFor("log: Обмен с 127.0.0.1 прерван"), "") << text.office.Transcript();
  EXPECT_NE(text.office.WaitFor("log: Ошибка при подключении к АЗС: "), "") << text.office.Transcript();
  EXPECT_EQ(Count(text.office, "history: Отправлено"), 0u);
  text.office.Send("quit");
  EXPECT_EQ(text.office.Finish(kExitLimit), 0) << text.office.Transcript();
}

TEST(MainThread, AStopEndsACommandThatAPeerHolds) {
  if (!HostProcess::CanRequestStop()) GTEST_SKIP() << "this OS sends programs no stop request";
  // Reads of 10 s: the bound, 61 s, is far off.
  TrickledText text(10000);
  ASSERT_TRUE(text.Started()) << text.office.Transcript();
  text.office.RequestStop();
  EXPECT_NE(text.office.WaitFor("log: Обмен с 127.0.0.1 прерван", kExitLimit), "")
      << text.office.Transcript();
  EXPECT_NE(text.office.WaitFor("UnLoad: 0", kExitLimit), "") << text.office.Transcript();
  EXPECT_EQ(text.office.AwaitExit(kExitLimit), 0) << text.office.Transcript();
}

}  // namespace
}  // namespace pw::test
