// The station's and the office's listeners over real sockets behave alike
// where they once differed: a stop from a connection's own thread, a stop
// run while another stop waits on the main thread, an exception of no
// known kind inside a connection, and the room both make for stations
// (idle connections let go). The test thread is the main thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "host/folder_host.h"
#include "log_file.h"
#include "main_thread_pump.h"
#include "office/inet_office_form.h"
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
#include "window_log.h"

namespace pw {
namespace {

using platform::TcpConnection;
using test::RawLine;
using test::RawWrite;
using namespace std::chrono_literals;

constexpr const char* kHost = test::kLoopback;
using test::kWaitMs;
constexpr auto kPumpLimit = 20s;

enum class Mode { kStation, kOffice };

class ListenersAlikeTest : public test::ProcessStateTest, public ::testing::WithParamInterface<Mode> {
 protected:
  void SetUp() override {
    platform::CreateDirectories(CurrentFolders().log_files);
    State().host.emplace(&host);
    if (GetParam() == Mode::kStation) {
      station = std::make_unique<station::TInetForm>(State());
      listener = &station->IdTCPServer1;
      log = &station->log;
    } else {
      office = std::make_unique<office::TInetOfficeForm>(State());
      listener = &office->listener();
      log = &office->log;
    }
    listener->Activate(0, {kHost});
  }
  void TearDown() override {
    ui::Dispatcher::instance().set_error_reporter(nullptr);
    station.reset();
    office.reset();
  }

  // A peer past the handshake (on a worker).
  TcpConnection Accepted() const {
    TcpConnection c = TcpConnection::Connect(kHost, listener->Port(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), "OK");
    if (GetParam() == Mode::kStation) {
      EXPECT_EQ(RawLine(c), kName);
    } else {
      RawWrite(c, kName);
    }
    RawWrite(c, "NOPASS");
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  }
  // The line the end of an accepted connection from 127.0.0.1 leaves.
  std::string EndLine() const {
    return GetParam() == Mode::kStation ? Text("Входящее подключение разорванно, IP: 127.0.0.1"_w)
                                        : Text("Соединение разорванно, имя АЗС: АЗС 3, IP: 127.0.0.1"_w);
  }
  template <class Fn>
  auto OnWorker(Fn fn) {
    return test::OnWorker(std::move(fn), kPumpLimit);
  }

  test::TempFolder root;
  const std::string kName = Text("АЗС 3"_w);
  host::FolderHost host{root.path() + "host/", kName, 4, [](const std::string&) {}};
  std::unique_ptr<station::TInetForm> station;
  std::unique_ptr<office::TInetOfficeForm> office;
  protocol::Listener* listener = nullptr;
  ui::ListBox* log = nullptr;
};

TEST_P(ListenersAlikeTest, AStopFromAConnectionsOwnThreadIsRefusedAndTheListenerServesOn) {
  protocol::Listener& l = *listener;
  ASSERT_TRUE(l.SetHandler("SEND_TEXT", [&l](protocol::Session& s) {
    try {
      l.Deactivate();
      s.WriteLine("stopped");
    } catch (const Error&) {
      s.WriteLine("refused");
    }
  }));
  EXPECT_FALSE(l.SetHandler("NO_SUCH_WORD", [](protocol::Session&) {}));
  OnWorker([this] {
    for (int k = 0; k < 2; ++k) {
      TcpConnection c = Accepted();
      RawWrite(c, "SEND_TEXT");
      EXPECT_EQ(RawLine(c), "refused");
    }
  });
  EXPECT_TRUE(l.Active());
}

// A connection that, cut by a stop, asks the main thread for another stop:
// the main thread runs it while it waits for the first, which refuses it
// rather than wait for itself.
TEST_P(ListenersAlikeTest, AStopRunWhileAnotherWaitsOnTheMainThreadIsRefusedAndTheFirstEnds) {
  protocol::Listener& l = *listener;
  std::string nested;
  l.SetHandler("SEND_TEXT", [&l, &nested](protocol::Session& s) {
    s.WriteLine("waiting");
    try {
      s.ReadLine();
    } catch (const platform::ConnectionClosed&) {
    }
    ui::RunOnMainThread([&] {
      try {
        l.Deactivate();
        nested = "stopped";
      } catch (const Error& e) {
        nested = e.what();
      }
    });
  });
  TcpConnection peer = OnWorker([this] {
    TcpConnection c = Accepted();
    RawWrite(c, "SEND_TEXT");
    EXPECT_EQ(RawLine(c), "waiting");
    return c;
  });
  test::MustNotHang([&] { l.Deactivate(); }, kPumpLimit);
  EXPECT_EQ(nested, Text("Сервер еще останавливается"_w));
  EXPECT_FALSE(l.Active());
  EXPECT_EQ(l.ConnectionThreads(), 0u);
  EXPECT_EQ(test::CountLine(*log, EndLine()), 1);
  // Started again once the stop is over.
  l.Activate(0, {kHost});
  EXPECT_TRUE(l.Active());
}

TEST_P(ListenersAlikeTest, AnExceptionOfNoKnownKindEndsItsConnectionOnlyAndIsTold) {
  std::vector<std::string> told;
  ui::Dispatcher::instance().set_error_reporter(
      [&told](std::string_view what) { told.emplace_back(what); });
  listener->SetHandler("SEND_MYIP", [](protocol::Session&) { throw 42; });
  listener->SetHandler("SEND_TEXT", [](protocol::Session& s) { s.WriteLine("got " + s.ReadLine()); });
  OnWorker([this] {
    TcpConnection failing = Accepted();
    TcpConnection steady = Accepted();
    RawWrite(failing, "SEND_MYIP");
    EXPECT_THROW(RawLine(failing), platform::ConnectionClosed);
    RawWrite(steady, "SEND_TEXT");
    RawWrite(steady, "hello");
    EXPECT_EQ(RawLine(steady), "got hello");
    TcpConnection later = Accepted();  // still accepting
  });
  ASSERT_TRUE(test::WaitForLine(*log, EndLine(), 2, kPumpLimit)) << "every end is told";
  EXPECT_EQ(told, (std::vector<std::string>{"unknown error"}));
  EXPECT_TRUE(listener->Active());
}

// The closes are written to the log file (only) as a burst: its first
// close, then, once a second has passed without one, their count.
TEST_P(ListenersAlikeTest, AtTheCapAnIdleStationMakesRoomOnceLoggedAndOneInsideACommandKeepsItsPlace) {
  listener->Deactivate();
  TheSettings().MaxConnections = 2;  // handshakes may hold one of the two
  listener->Activate(0, {kHost});
  test::Semaphore finish;
  listener->SetHandler("SEND_TEXT", [&finish](protocol::Session& s) {
    s.WriteLine("busy");
    finish.try_acquire_for(std::chrono::milliseconds(kWaitMs));
    s.WriteLine("done");
  });
  OnWorker([&] {
    TcpConnection busy = Accepted();
    RawWrite(busy, "SEND_TEXT");
    EXPECT_EQ(RawLine(busy), "busy");
    TcpConnection idle = Accepted();
    TcpConnection newcomer = Accepted();
    EXPECT_TRUE(test::SeesClose(idle));
    TcpConnection next = Accepted();
    EXPECT_TRUE(test::SeesClose(newcomer));
    finish.release();
    EXPECT_EQ(RawLine(busy), "done");
    const std::string& file = CurrentFolders().log_file;
    EXPECT_EQ(test::CountInFile(file, Text("Закрыто подключений, чтобы освободить место: 2"_w), 1,
                                kPumpLimit), 1);
    // The cap named is the handshakes' share (1) when the first close comes
    // before the idle one has told its handshake over, else the whole (2).
    EXPECT_EQ(test::CountInFile(file, Text("Закрыто подключение с IP: 127.0.0.1, чтобы освободить место ("_w),
                                1, kPumpLimit), 1);
    EXPECT_EQ(test::CountInFile(file, Text("чтобы освободить место"_w), 2, kPumpLimit), 2)
        << "two lines for the burst, none per connection";
  });
}

TEST_P(ListenersAlikeTest, AStationSilentPastIdleTimeOutIsLetGoAndOneThatKeepsAskingIsNot) {
  TheSettings().IdleTimeOut = 1000;  // taken by each connection as it starts
  OnWorker([&] {
    TcpConnection c = Accepted();
    for (int i = 0; i < 5; ++i) {  // 1.25 s in all, never a second silent
      std::this_thread::sleep_for(250ms);
      RawWrite(c, "NO_SUCH_WORD");
    }
    const auto last = std::chrono::steady_clock::now();
    EXPECT_TRUE(test::SeesClose(c));
    EXPECT_GE(std::chrono::steady_clock::now() - last, 900ms);
  });
}

INSTANTIATE_TEST_SUITE_P(BothEnds, ListenersAlikeTest, ::testing::Values(Mode::kStation, Mode::kOffice),
                         [](const auto& info) {
                           return std::string(info.param == Mode::kStation ? "Station" : "Office");
                         });

}  // namespace
}  // namespace pw
