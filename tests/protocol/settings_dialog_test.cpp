// The settings dialog opened from the connection windows' "Настройки" moves
// their listening server when InPort changes, over real sockets on loopback:
// a client reaches the new port and no longer the old one; a change of
// OutPort alone leaves the server and its connections alone; a port that
// cannot be taken brings the server back on its old port, and the log file
// says so. The test thread is the main thread and pumps while it waits.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "host/folder_host.h"
#include "main_thread_pump.h"
#include "office/inet_office_form.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "settings/config_form.h"
#include "shell/plugin_state.h"
#include "shell/settings_dialog.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/operator.h"
#include "window_log.h"

namespace pw {
namespace {

using platform::TcpConnection;
using namespace std::chrono_literals;
using test::kLoopback;
using test::kWaitMs;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

// The greeting a listener sends on a new connection, read on a worker while
// the main thread serves the listener's log lines.
std::string Greeting(int port) {
  return test::OnWorker(
      [port] {
        TcpConnection c = TcpConnection::Connect(kLoopback, port, kWaitMs);
        c.SetReadTimeout(kWaitMs);
        return test::RawLine(c);
      },
      20s);
}

bool Refused(int port) {
  try {
    TcpConnection::Connect(kLoopback, port, kWaitMs);
    return false;
  } catch (const Error&) {
    return true;
  }
}

class SettingsDialogTest : public test::ProcessStateTest {
 protected:
  SettingsDialogTest() {
    platform::CreateDirectories(CurrentFolders().log_files);
    State().host.emplace(&host);
    State().open_settings_dialog = [] { OpenSettingsDialog(State()); };
  }
  ~SettingsDialogTest() override {
    State().station_window.reset();
    State().office_window.reset();
  }

  // The next opening of the dialog types port values and presses "Применить".
  void NextDialog(std::optional<int> in_port, std::optional<int> out_port) {
    ui::Operator::instance().SetModalObserver([=](ui::Window& w) {
      auto& form = dynamic_cast<settings::TConfigForm&>(w);
      if (in_port) form.se_srv_port.value = *in_port;
      if (out_port) form.se_clie_port.value = *out_port;
      form.BitBtn1.Click();
    });
  }
  std::string LogFile() const { return test::ReadFile(CurrentFolders().log_file); }
  std::string StoredInPort() const {
    return IniFile(IniFilePath()).ReadString("Inet", "InPort", "<none>");
  }

  test::TempFolder root;
  host::FolderHost host{root.path() + "host/", W("АЗС 3"_w), 4, [](const std::string&) {}};
};

TEST_F(SettingsDialogTest, TheStationListenerMovesWithItsBindingsOnlyWhenInPortChanges) {
  const int old_port = test::FreePort();
  TheSettings().InPort = old_port;
  State().mode = kStationMode;
  State().station_window = std::make_unique<station::TInetForm>(State());
  station::TInetForm& window = *State().station_window;
  station::StationListener& listener = window.IdTCPServer1;
  listener.Activate(old_port, {kLoopback});  // one per-address binding

  // A connection that a restart of the server would cut.
  std::optional<TcpConnection> open = test::OnWorker(
      [old_port] {
        TcpConnection c = TcpConnection::Connect(kLoopback, old_port, kWaitMs);
        c.SetReadTimeout(kWaitMs);
        EXPECT_EQ(test::RawLine(c), "OK");
        return c;
      },
      20s);

  NextDialog(std::nullopt, 7123);
  window.N1Click();
  EXPECT_EQ(TheSettings().OutPort, 7123);
  EXPECT_EQ(listener.Port(), old_port);
  open->SetReadTimeout(200);
  EXPECT_EQ(test::RawLine(*open), W("АЗС 3"_w)) << "still the same connection";
  EXPECT_THROW(test::RawLine(*open), platform::ReadTimeout);

  const int new_port = test::FreePort();
  NextDialog(new_port, std::nullopt);
  window.N1Click();
  EXPECT_EQ(listener.Port(), new_port);
  EXPECT_EQ(listener.Bindings(), (std::vector<std::string>{kLoopback}));
  EXPECT_EQ(StoredInPort(), std::to_string(new_port));
  open->SetReadTimeout(kWaitMs);
  EXPECT_TRUE(test::SeesClose(*open)) << "the old server's connections end with it";
  EXPECT_EQ(Greeting(new_port), "OK");
  EXPECT_TRUE(Refused(old_port));
}

TEST_F(SettingsDialogTest, AnOfficePortThatCannotBeTakenBringsTheServerBackOnTheOldOne) {
  const int old_port = test::FreePort();
  TheSettings().InPort = old_port;
  State().mode = kOfficeMode;
  State().office_window = std::make_unique<office::TInetOfficeForm>(State());
  office::TInetOfficeForm& window = *State().office_window;
  window.RunServer();
  ASSERT_EQ(window.ServerPort(), old_port);

  auto taken = std::make_unique<platform::TcpListener>(kLoopback, 0);
  const int new_port = taken->Port();
  NextDialog(new_port, std::nullopt);
  window.N1Click();
  EXPECT_TRUE(window.ServerActive());
  EXPECT_EQ(window.ServerPort(), old_port);
  const std::string log = LogFile();
  EXPECT_NE(log.find(W("Ошибка переключения прослушивающего сервера: "_w)), std::string::npos) << log;
  EXPECT_NE(log.find(W("Прослушивающий сервер возвращен на прежний порт "_w) +
                     std::to_string(old_port)),
            std::string::npos)
      << log;
  for (const std::string& line : test::LogLines(window.log))
    EXPECT_EQ(line.find(W("Ошибка переключения"_w)), std::string::npos) << "the file only";
  EXPECT_EQ(Greeting(old_port), "OK");
  // The port it could not take is not kept: stored, it would leave the end
  // deaf at its next start.
  EXPECT_EQ(TheSettings().InPort, old_port);
  EXPECT_EQ(StoredInPort(), std::to_string(old_port));

  // Once the port is free, the same change goes through at once.
  taken.reset();
  NextDialog(new_port, std::nullopt);
  window.N1Click();
  EXPECT_EQ(window.ServerPort(), new_port);
  EXPECT_EQ(Greeting(new_port), "OK");
  EXPECT_TRUE(Refused(old_port));
}

}  // namespace
}  // namespace pw
