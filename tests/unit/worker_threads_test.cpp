// Worker threads: started, stopped through their close action, joined.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "services/worker_threads.h"
#include "ui/dispatcher.h"

namespace pw {
namespace {

using namespace std::chrono_literals;

// A worker that waits until its close action has run, as a read waits
// until its socket is closed.
struct Blocked {
  std::mutex mu;
  std::condition_variable cv;
  bool closed = false;
  void Run(Worker& worker) {
    worker.on_stop([this] {
      std::lock_guard lock(mu);
      closed = true;
      cv.notify_all();
    });
    {
      std::unique_lock lock(mu);
      cv.wait(lock, [this] { return closed; });
    }
    worker.on_stop({});
  }
};

TEST(WorkerThreadsTest, StopAllClosesEveryWorkerAndJoinsIt) {
  WorkerThreads workers;
  Blocked a, b;
  std::atomic<bool> saw_stop{false};
  workers.Start([&](Worker& w) { a.Run(w); });
  workers.Start([&](Worker& w) {
    b.Run(w);
    saw_stop = w.stop_requested();
  });
  EXPECT_EQ(workers.Running(), 2u);
  EXPECT_TRUE(workers.StopAll(10s));
  EXPECT_EQ(workers.Running(), 0u);
  EXPECT_TRUE(a.closed && b.closed && saw_stop);
}

TEST(WorkerThreadsTest, ACloseActionSetAfterTheStopRunsAtOnceAndFinishedThreadsAreReaped) {
  WorkerThreads workers;
  std::atomic<int> ran{0};
  workers.Start([](Worker&) {});
  Blocked blocked;
  workers.Start([&](Worker& w) { blocked.Run(w); });
  EXPECT_TRUE(workers.StopAll(10s));
  Worker* seen = nullptr;
  workers.Start([&](Worker& w) {
    seen = &w;
    w.on_stop([&] { ++ran; });  // not stopped: kept, not run
  });
  EXPECT_TRUE(workers.StopAll(10s));  // runs the kept action
  EXPECT_NE(seen, nullptr);
  EXPECT_EQ(ran.load(), 1);
}

TEST(WorkerThreadsTest, OnTheMainThreadTheStopServesTheWorkersHandedOverWork) {
  ui::Dispatcher::instance().attach_main_thread();
  {
    WorkerThreads workers;
    Blocked blocked;
    std::atomic<bool> logged{false};
    workers.Start([&](Worker& w) {
      blocked.Run(w);
      ui::RunOnMainThread([&] { logged = true; });  // a last log line
    });
    EXPECT_TRUE(workers.StopAll(10s));
    EXPECT_TRUE(logged);
  }
  ui::Dispatcher::instance().detach_main_thread();
}

}  // namespace
}  // namespace pw
