// The base of every test that touches the process-wide state: settings,
// plug-in state, operator and main-thread dispatcher. It resets that state
// when the test's fixture is made, with the test's thread as the main thread,
// and when the fixture has been taken down (the test's own members freed) it
// checks that no window and no server thread is left behind, then resets
// again so that one leaking test does not spoil the next.
//
// The work is done in the constructor and destructor, not in SetUp and
// TearDown, so a fixture built on it needs no calls to the base and its
// members (windows, servers) live wholly inside the reset state.
#pragma once

#include <gtest/gtest.h>

namespace pw::test {

class ProcessStateTest : public ::testing::Test {
 protected:
  // Whether the test's thread is the main thread while the test runs. A test
  // whose own thread waits for workers (a future's get) without pumping
  // takes kNone, so that those workers' main-thread calls run in place.
  enum class MainThread { kTestThread, kNone };

  explicit ProcessStateTest(MainThread main_thread = MainThread::kTestThread);
  ~ProcessStateTest() override;
};

// The reset alone, for fixtures that cannot derive from the one above.
void ResetProcessState();

}  // namespace pw::test
