// Waiting on the main thread as the host's user-interface thread would:
// pumping the work that other threads hand over meanwhile.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "ui/dispatcher.h"

namespace pw::test {

// Runs fn on a thread of its own while the calling (main) thread pumps, and
// returns what fn returns. The pumping gives up after limit; fn is still
// waited for.
template <class Fn>
auto OnWorker(Fn fn, std::chrono::milliseconds limit) {
  std::packaged_task<decltype(fn())()> task(std::move(fn));
  auto result = task.get_future();
  std::thread worker([&] {
    task();  // the result is ready before the main thread is woken
    ui::Dispatcher::instance().wake();
  });
  const bool in_time = ui::Dispatcher::instance().run_until(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, limit);
  worker.join();
  if (!in_time) ADD_FAILURE() << "the worker outlasted the pumping";
  return result.get();
}

}  // namespace pw::test
