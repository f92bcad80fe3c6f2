#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "host/folder_host.h"
#include "office/inet_office_form.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/lifecycle.h"
#include "shell/menu_proc.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "thread_signals.h"
#include "ui/dispatcher.h"

namespace pw {
namespace {

using host::FolderHost;
using host::HostMenuItem;

// The tree as "caption [help]" lines, two blanks per level, in UTF-8.
void Flatten(const HostMenuItem& item, int depth, std::vector<std::string>& out) {
  for (const auto& child : item.children) {
    out.push_back(std::string(depth * 2, ' ') + text::utf8_from_cp1251(child->caption) + " [" +
                  std::to_string(child->help_context) + "]" + (child->on_click ? " *" : ""));
    Flatten(*child, depth + 1, out);
  }
}

std::vector<std::string> Tree(const HostMenuItem& root) {
  std::vector<std::string> out;
  Flatten(root, 0, out);
  return out;
}

class LifecycleTest : public test::ProcessStateTest {
 protected:
  // The listener takes any free port, so tests never meet on 6090.
  void SetUp() override { TheSettings().InPort = 0; }
  void TearDown() override { UnLoadPlugin(); }
  test::TempFolder root;
  FolderHost host{root.path() + "host/", "АЗС 3"_w.data(), 4, [](const std::string&) {}};
};

TEST_F(LifecycleTest, StationMenuTreeWithoutAnyHostItems) {
  ASSERT_EQ(LoadPlugin(0, kStationMode, &host), 0);
  EXPECT_EQ(Tree(host.menu()), (std::vector<std::string>{
                                   "Связь с о&фисом [78]",
                                   "  - [0]",
                                   "  Прямое IP соединение [78] *",
                                   "  - [0]",
                                   "  Настройки [78]",
                                   "    Прямое IP соединение  [78] *",
                                   "  Интерактивный обмен [0]",
                                   "    Отправить текстовое сообщение [78] *",
                                   "    Отправить файл [78] *",
                                   "    Отправить свой IP адрес [78] *",
                                   "    - [78]",
                                   "    История сообщений [78] *",
                               }));
  // The station's incoming-files folder, and the log folder.
  EXPECT_TRUE(platform::DirectoryExists(CurrentFolders().from_office));
  EXPECT_FALSE(platform::DirectoryExists(CurrentFolders().from_azs));
}

TEST_F(LifecycleTest, OfficeItemsGoIntoTheHostsOwnTopItemAndSettingsSubmenu) {
  HostMenuItem& top = host.menu().Append("&связь"_w.data());  // found ignoring "&" and case
  top.Append("Станции"_w.data());
  top.Append("НАСТРОЙКИ"_w.data()).Append("Принтер"_w.data());

  ASSERT_EQ(LoadPlugin(0, kOfficeMode, &host), 0);
  EXPECT_EQ(Tree(host.menu()), (std::vector<std::string>{
                                   "&связь [0]",
                                   "  Станции [0]",
                                   "  НАСТРОЙКИ [0]",
                                   "    Принтер [0]",
                                   "    Прямое IP соединение  [78] *",
                                   "  - [0]",
                                   "  Прямое IP соединение [78] *",
                                   "  Интерактивный обмен [0]",
                                   "    Отправить текстовое сообщение [78] *",
                                   "    Отправить файл [78] *",
                                   "    Отправить свой IP адрес [78] *",
                                   "    Показать скриншот с АЗС [78] *",
                                   "    Следить за АЗС (ТВ АЗС) [78] *",
                                   "    - [78]",
                                   "    История сообщений [78] *",
                                   "  Табло станций [78] *",
                               }));
  EXPECT_TRUE(platform::DirectoryExists(CurrentFolders().from_azs));
}

TEST_F(LifecycleTest, AddMenusAgainAddsAnotherSetUnderTheSameTopItem) {
  ASSERT_EQ(LoadPlugin(0, kStationMode, &host), 0);
  pw::AddMenus();
  ASSERT_EQ(host.menu().children.size(), 1u);
  const auto& top = *host.menu().children[0];
  std::vector<std::string> captions;
  for (const auto& c : top.children) captions.push_back(text::utf8_from_cp1251(c->caption));
  // The second run finds "Настройки" and so adds no separator before it.
  EXPECT_EQ(captions, (std::vector<std::string>{"-", "Прямое IP соединение", "-", "Настройки",
                                                "Интерактивный обмен", "-",
                                                "Прямое IP соединение", "Интерактивный обмен"}));
  EXPECT_EQ(top.children[3]->children.size(), 2u);
}

TEST_F(LifecycleTest, AHostErrorDuringTheMenuGivesOneWithDefaultsAndTheRestStillComesUp) {
  test::WriteFile(root / "cnf.INI", "[Inet]\r\nOutPort=7000\r\nInPort=0\r\n");
  PwHostServicesVtbl failing = *host.vtbl;
  failing.CreateMenuItem = [](PwHostServices*, PwMenuItem*, int32_t, PwMenuItem**) -> PwError {
    return "menu is locked";
  };
  host.vtbl = &failing;

  EXPECT_EQ(LoadPlugin(0, kOfficeMode, &host), 1);
  EXPECT_EQ(TheSettings().OutPort.load(), 6090);  // never read
  EXPECT_TRUE(platform::DirectoryExists(CurrentFolders().from_azs));
  ASSERT_TRUE(State().office_window);  // the window and its listener came up
  EXPECT_TRUE(State().office_window->ServerActive());
  EXPECT_EQ(UnLoadPlugin(), 0);
}

TEST_F(LifecycleTest, LoadReadsTheSettingsAndAClickAfterUnLoadDoesNothing) {
  test::WriteFile(root / "cnf.INI", "[Inet]\r\nOutPort=7000\r\nInPort=0\r\nIPs=10.0.0.1\t10.0.0.2\t\r\n");
  ASSERT_EQ(LoadPlugin(0, kStationMode, &host), 0);
  EXPECT_EQ(TheSettings().OutPort.load(), 7000);
  EXPECT_EQ(State().remembered_addresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(std::string(VersionText()), std::string("1.02 от 11.11.2008"_w));

  HostMenuItem* history = host.menu().FindPath("Связь с офисом>Интерактивный обмен>История сообщений"_w.data());
  ASSERT_NE(history, nullptr);
  EXPECT_EQ(UnLoadPlugin(), 0);
  EXPECT_TRUE(State().remembered_addresses.empty());
  // The items stay with the host; their handler object is gone.
  EXPECT_TRUE(history->Click());
}

TEST_F(LifecycleTest, TheHostsAutomaticStartsShowTheWindowOfTheirMode) {
  TheSettings().showWND = true;
  test::WriteFile(root / "cnf.INI", "[Inet]\r\nInPort=0\r\nshowWND=1\r\n");
  ASSERT_EQ(LoadPlugin(0, kStationMode, &host), 0);
  AutoSendInetOffice("10.0.0.5");  // the office's call at a station does nothing
  AutoSendInetStation();
  ASSERT_TRUE(State().station_window);
  // The automatic send thread takes AutoMode and says so first.
  const std::string automatic = "Автоматическая отправка данных(IP)..."_w.data();
  EXPECT_TRUE(ui::Dispatcher::instance().run_until(
      [&] {
        for (const std::string& item : State().station_window->log.items)
          if (item.find(automatic) != std::string::npos) return true;
        return false;
      },
      std::chrono::seconds(20)));
  EXPECT_FALSE(State().AutoMode);
  EXPECT_TRUE(State().station_window->visible);
  EXPECT_EQ(UnLoadPlugin(), 0);

  // The office's request goes to a loopback port where nobody listens.
  const int closed_port = platform::TcpListener(test::kLoopback, 0).Port();
  test::WriteFile(root / "cnf.INI", "[Inet]\r\nInPort=0\r\nOutPort=" + std::to_string(closed_port) + "\r\n");
  ASSERT_EQ(LoadPlugin(0, kOfficeMode, &host), 0);
  EXPECT_FALSE(State().AutoMode);  // Load clears it
  AutoSendInetOffice("127.0.0.1 - АЗС 7"_w.data());
  ASSERT_TRUE(State().office_window);
  EXPECT_TRUE(State().office_window->visible);
  EXPECT_EQ(State().office_window->cb_IP.caption, std::string("127.0.0.1 - АЗС 7"_w));
  // It ran: the connection was tried and the exchange ended.
  EXPECT_TRUE(ui::Dispatcher::instance().run_until([] { return State().workers.Running() == 0; },
                                                   std::chrono::seconds(10)));
  EXPECT_NE(test::ReadFile(CurrentFolders().log_file).find(std::string("Ошибка при подключении к АЗС: "_w)),
            std::string::npos);
}

// UnLoad ends a worker blocked in a read by closing what it waits on, and the
// worker's last log line still reaches its window, which is freed only after.
TEST_F(LifecycleTest, UnLoadEndsThePluginsThreadsBeforeItFreesTheirWindows) {
  ASSERT_EQ(LoadPlugin(0, kStationMode, &host), 0);
  platform::TcpListener silent(test::kLoopback, 0);
  ui::ListBox& log = State().station_window->log;
  test::Semaphore reading;
  std::atomic<bool> ended{false};
  State().workers.Start([&](Worker& self) {
    auto c = platform::TcpConnection::Connect(test::kLoopback, silent.Port(), test::kWaitMs);
    self.on_stop([&c] { c.Disconnect(); });
    reading.release();
    try {
      c.ReadByte();
    } catch (const Error&) {
    }
    self.on_stop({});
    AddToLog("the exchange ends", &log);
    ended = true;
  });
  ASSERT_TRUE(reading.try_acquire_for(std::chrono::seconds(30)));
  EXPECT_EQ(UnLoadPlugin(), 0);
  EXPECT_TRUE(ended);
  EXPECT_EQ(State().workers.Running(), 0u);
  EXPECT_FALSE(State().station_window);
}

}  // namespace
}  // namespace pw
