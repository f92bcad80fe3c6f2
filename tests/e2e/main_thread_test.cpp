// The host's commands against the plug-in's waits on the main thread: a
// wait for a worker never runs the host's next command, a failing command or
// timer is told and the host goes on, and a stop or UnLoad right after a
// burst of connections never strands the connections' log lines.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <list>
#include <thread>

#include "host_process.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"

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

}  // namespace
}  // namespace pw::test
