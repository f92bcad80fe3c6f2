#include "process_state.h"

#include <string>

#include "platform/tcp.h"
#include "shell/plugin_state.h"
#include "services/settings.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "ui/window.h"

namespace pw::test {

namespace {

// Windows and threads an earlier part of the test left, as a failure text;
// empty when there are none.
std::string Leftovers() {
  std::string found;
  for (const ui::Window* w : ui::AllWindows()) found += " window " + w->class_name() + ";";
  if (const std::size_t n = platform::TcpServer::ThreadsInProcess(); n > 0)
    found += " " + std::to_string(n) + " server thread(s);";
  return found;
}

}  // namespace

void ResetProcessState() {
  TheSettings().Reset();
  PluginState& state = State();
  state.mode = kStationMode;
  state.application_window = 0;
  state.host.reset();
  state.remembered_addresses.clear();
  state.AutoMode = false;
  state.open_settings_dialog = nullptr;
  ui::Operator& op = ui::Operator::instance();
  op.SetObserver(nullptr);
  op.SetModalObserver(nullptr);
  op.SetOpenObserver(nullptr);
  op.ClearAnswers();
}

ProcessStateTest::ProcessStateTest(MainThread main_thread) {
  ui::Dispatcher& d = ui::Dispatcher::instance();
  if (main_thread == MainThread::kTestThread)
    d.attach_main_thread();
  else
    d.detach_main_thread();
  ResetProcessState();
}

ProcessStateTest::~ProcessStateTest() {
  // The windows are the main thread's to list; every thread the test started
  // has ended by now.
  ui::Dispatcher::instance().attach_main_thread();
  const std::string left = Leftovers();
  EXPECT_EQ(left, "") << "left behind by the test";
  ResetProcessState();
  ui::Dispatcher::instance().detach_main_thread();
}

}  // namespace pw::test
