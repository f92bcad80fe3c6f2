#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "platform/tcp.h"
#include "raw_peer.h"
#include "services/worker_threads.h"
#include "thread_signals.h"
#include "ui/dispatcher.h"

namespace pw {
namespace {

using namespace std::chrono_literals;

class WorkerThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override { d.attach_main_thread(); }
  void TearDown() override {
    d.set_error_reporter(nullptr);
    d.detach_main_thread();
  }
  ui::Dispatcher& d = ui::Dispatcher::instance();
};

// A worker blocked in a read of a silent peer: the stop closes its
// connection, its last log line reaches the main thread while StopAll
// waits there, and it is joined.
TEST_F(WorkerThreadsTest, StopAllClosesWhatWorkersWaitOnAndServesTheirLastCalls) {
  platform::TcpListener silent(test::kLoopback, 0);
  WorkerThreads workers;
  test::Semaphore reading;
  std::vector<std::string> lines;  // main thread only
  for (int i = 0; i < 3; ++i)
    workers.Start([&](Worker& self) {
      auto c = platform::TcpConnection::Connect(test::kLoopback, silent.Port(), test::kWaitMs);
      self.on_stop([&c] { c.Disconnect(); });
      reading.release();
      std::string ended;
      try {
        c.ReadByte();
      } catch (const platform::ConnectionClosed& e) {
        ended = e.what();
      }
      self.on_stop({});
      d.run_sync([&] { lines.push_back(ended); });
    });
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(reading.try_acquire_for(30s));
  EXPECT_EQ(workers.Running(), 3u);
  EXPECT_TRUE(workers.StopAll(30s));
  EXPECT_EQ(workers.Running(), 0u);
  EXPECT_EQ(lines, std::vector<std::string>(3, "Connection Closed Gracefully."));
}

TEST_F(WorkerThreadsTest, AStopBeforeTheCloseIsSetClosesAtOnceAndNewWorkersStartStopped) {
  WorkerThreads workers;
  test::Semaphore go;
  std::atomic<int> closes{0};
  std::atomic<bool> stopped_at_start{false};
  workers.Start([&](Worker& self) {
    go.acquire();
    EXPECT_TRUE(self.stop_requested());
    self.on_stop([&] { ++closes; });  // runs here, at once
    self.on_stop([&] { ++closes; });  // and again: a new action, a new close
    self.on_stop({});
    // Started while the stop runs: stopped from the first moment.
    workers.Start([&](Worker& late) { stopped_at_start = late.stop_requested(); });
  });
  d.post([&] { go.release(); });  // once StopAll waits on the main thread
  EXPECT_TRUE(workers.StopAll(30s));
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(stopped_at_start);
  EXPECT_EQ(workers.Running(), 0u);
}

TEST_F(WorkerThreadsTest, AWorkerThatIgnoresItsStopIsReportedLateAndJoinedLater) {
  std::vector<std::string> reported;
  d.set_error_reporter([&](std::string_view what) { reported.emplace_back(what); });
  WorkerThreads workers;
  test::Semaphore release;
  workers.Start([&](Worker&) { release.acquire(); });
  workers.Start([](Worker&) { throw std::runtime_error("exchange failed"); });
  EXPECT_FALSE(workers.StopAll(50ms));
  EXPECT_EQ(workers.Running(), 1u);
  release.release();
  EXPECT_TRUE(workers.StopAll(30s));
  EXPECT_EQ(reported, std::vector<std::string>{"exchange failed"});
}

TEST_F(WorkerThreadsTest, FinishedThreadsAreReapedWhenTheNextStarts) {
  WorkerThreads workers;
  std::atomic<int> ran{0};
  for (int i = 0; i < 50; ++i) {
    workers.Start([&](Worker&) { ++ran; });
    d.wait_for_workers([&] { return workers.Running() == 0; }, 30s);
  }
  EXPECT_EQ(ran, 50);
  EXPECT_TRUE(workers.StopAll(0ms));  // nothing left to wait for
}

}  // namespace
}  // namespace pw
