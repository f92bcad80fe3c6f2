#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::ui {
namespace {

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { Dispatcher::instance().attach_main_thread(); }
  void TearDown() override { Dispatcher::instance().detach_main_thread(); }
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
  EXPECT_EQ(op.MessageBox("c", "t", Buttons::OkCancel), Answer::Cancel);
  EXPECT_EQ(op.MessageBox("c", "t", Buttons::Ok), Answer::Ok);
  EXPECT_EQ(op.MessageBox("c", "t", Buttons::YesNo), Answer::Yes);  // none left
  op.SetObserver(nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"c|t|cancel", "c|t|ok", "c|t|yes"}));
}

}  // namespace
}  // namespace pw::ui
