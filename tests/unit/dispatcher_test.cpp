#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ui/controls.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "ui/window.h"

namespace pw::ui {
namespace {

using namespace std::chrono_literals;

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { Dispatcher::instance().attach_main_thread(); }
  void TearDown() override {
    d.set_error_reporter(nullptr);
    Dispatcher::instance().detach_main_thread();
  }
  Dispatcher& d = Dispatcher::instance();
};

TEST_F(DispatcherTest, RunSyncFromWorkersRunsOnTheMainThreadAndWaits) {
  const auto main_id = std::this_thread::get_id();
  std::atomic<int> finished{0};
  int runs = 0;  // touched on the main thread only
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([&] {
      for (int k = 0; k < 50; ++k)
        d.run_sync([&] {
          EXPECT_EQ(std::this_thread::get_id(), main_id);
          ++runs;
        });
      ++finished;
      d.wake();
    });
  // The main thread waits for its workers by pumping, never blindly.
  EXPECT_TRUE(d.run_until([&] { return finished == 4; }, std::chrono::seconds(30)));
  for (auto& w : workers) w.join();
  EXPECT_EQ(runs, 200);
}

TEST_F(DispatcherTest, RunSyncOnTheMainThreadRunsInlineAndPassesErrorsOn) {
  bool ran = false;
  d.run_sync([&] { ran = true; });
  EXPECT_TRUE(ran);

  std::exception_ptr seen;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      d.run_sync([] { throw std::runtime_error("boom"); });
    } catch (...) {
      seen = std::current_exception();
    }
    done = true;
    d.wake();
  });
  d.run_until([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(seen);
  EXPECT_THROW(std::rethrow_exception(seen), std::runtime_error);
}

TEST_F(DispatcherTest, TimersRepeatUntilKilledAndPostedTasksKeepOrder) {
  std::vector<int> order;
  d.post([&] { order.push_back(1); });
  d.post([&] { order.push_back(2); });
  int ticks = 0;
  Dispatcher::TimerId id = 0;
  id = d.set_timer(std::chrono::milliseconds(1), [&] {
    if (++ticks == 3) d.kill_timer(id);
  });
  EXPECT_TRUE(d.run_until([&] { return ticks == 3; }, std::chrono::seconds(30)));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  // Killed: a further round runs nothing.
  d.run_until([] { return false; }, std::chrono::milliseconds(5));
  EXPECT_EQ(ticks, 3);
}

TEST_F(DispatcherTest, MessageBoxTakesQueuedAnswersThatFitItsButtons) {
  auto& op = Operator::instance();
  std::vector<std::string> seen;
  op.SetObserver([&](const std::string& caption, const std::string& text, Answer a) {
    seen.push_back(caption + "|" + text + "|" + AnswerName(a));
  });
  op.QueueAnswer(Answer::Cancel);
  op.QueueAnswer(Answer::Yes);  // no Yes on an OK box: its first button instead
  EXPECT_EQ(op.ShowMessageBox("c", "t", Buttons::OkCancel), Answer::Cancel);
  EXPECT_EQ(op.ShowMessageBox("c", "t", Buttons::Ok), Answer::Ok);
  EXPECT_EQ(op.ShowMessageBox("c", "t", Buttons::YesNo), Answer::Yes);  // none left
  op.SetObserver(nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"c|t|cancel", "c|t|ok", "c|t|yes"}));
}

// The host's command that waits for a worker serves the worker's handed-over
// work, never the host's next command nor a timer; the outermost loop then
// serves those in turn.
TEST_F(DispatcherTest, AWaitForAWorkerServesOnlyTheWorkersWork) {
  std::vector<std::string> order;  // main thread only
  int ticks = 0;
  const auto timer = d.set_timer(1ms, [&] { ++ticks; });
  std::atomic<bool> worker_done{false};
  std::thread worker;
  d.post_host([&] {
    order.push_back("first command");
    // A command queued meanwhile, then a worker whose synchronised call the
    // wait must serve.
    d.post_host([&] { order.push_back("second command"); });
    worker = std::thread([&] {
      d.run_sync([&] { order.push_back("worker's call"); });
      worker_done = true;
      d.wake();
    });
    EXPECT_TRUE(d.wait_for_workers([&] { return worker_done.load(); }, 30s));
    // run_until inside a task is a wait for workers too.
    EXPECT_FALSE(d.run_until([] { return false; }, 20ms));
    order.push_back("first command ends, ticks " + std::to_string(ticks));
  });
  EXPECT_TRUE(d.run_until([&] { return order.size() == 4 && ticks > 0; }, 30s));
  d.kill_timer(timer);
  worker.join();
  EXPECT_EQ(order, (std::vector<std::string>{"first command", "worker's call",
                                             "first command ends, ticks 0", "second command"}));
}

// Work queued behind a task that opens a nested wait is still in the queue
// for that wait: a stop whose connections wait for their log lines ends.
TEST_F(DispatcherTest, ANestedWaitReachesWorkQueuedBehindItsOwnTask) {
  std::atomic<bool> line_taken{false};
  bool waited = false;
  d.post([&] { waited = d.wait_for_workers([&] { return line_taken.load(); }, 2s); });
  std::thread([&] { d.post([&] { line_taken = true; }); }).join();
  EXPECT_TRUE(d.run_until([&] { return line_taken.load(); }, 30s));
  EXPECT_TRUE(waited);
}

TEST_F(DispatcherTest, ATaskThatThrowsIsReportedAndTheLoopGoesOn) {
  std::vector<std::string> reported;
  d.set_error_reporter([&](std::string_view what) { reported.emplace_back(what); });
  bool after = false;
  d.post_host([] { throw std::runtime_error("command failed"); });
  d.post([] { throw 42; });
  const auto timer = d.set_timer(1ms, [] { throw std::runtime_error("tick failed"); });
  d.post([&] { after = true; });
  EXPECT_TRUE(d.run_until([&] { return after && reported.size() >= 3; }, 30s));
  ASSERT_GE(reported.size(), 3u);
  EXPECT_EQ(reported[0], "command failed");
  EXPECT_EQ(reported[1], "unknown error");
  EXPECT_EQ(reported[2], "tick failed");
  // A worker's synchronised call gets its own error back, unreported.
  std::atomic<bool> got_error{false};
  std::thread worker([&] {
    try {
      d.run_sync([] { throw std::runtime_error("call failed"); });
    } catch (const std::runtime_error&) {
      got_error = true;
    }
    d.wake();
  });
  EXPECT_TRUE(d.run_until([&] { return got_error.load(); }, 30s));
  worker.join();
  d.kill_timer(timer);
  for (const std::string& what : reported) EXPECT_NE(what, "call failed");
}

// Always on, release builds included: a window touched from another thread
// ends the process with a message that says so.
TEST(MainThreadDeathTest, WindowOperationsAndEventsOffTheMainThreadAbort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Dispatcher::instance().attach_main_thread();
        std::thread([] { Window w("TStray"); }).join();
      },
      "Window::Window called off the main thread");
  EXPECT_DEATH(
      {
        Dispatcher::instance().attach_main_thread();
        Window window("TOwned");
        Button button(window, "b");
        button.on_click = [] {};
        std::thread([&] { button.Click(); }).join();
      },
      "an event handler called off the main thread");
}

}  // namespace
}  // namespace pw::ui
