// pumpwire-host drives the settings dialog from its command stream: the
// controls are printed, a disabled one refuses a value, and a new InPort
// typed in and applied moves the station's listener for a real client.
#include <gtest/gtest.h>

#include "host_process.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"

namespace pw::test {
namespace {

std::string Greeting(int port) {
  platform::TcpConnection c = platform::TcpConnection::Connect(kLoopback, port, kWaitMs);
  c.SetReadTimeout(kWaitMs);
  return RawLine(c);
}

TEST(HostDialog, InPortChangedThroughTheDialogMovesTheListener) {
  TempFolder root;
  const int old_port = FreePort();
  int new_port = FreePort();
  while (new_port == old_port) new_port = FreePort();
  HostProcess host({"station", "--root", root.path(), "--set", "InPort=" + std::to_string(old_port)});
  ASSERT_EQ(host.WaitFor("Load:"), "Load: 0");
  EXPECT_EQ(Greeting(old_port), "OK");

  // A refused action cancels the dialog: nothing of it is applied.
  host.Send("dialog set se_srv_port " + std::to_string(new_port));
  host.Send("dialog set cbQuality 24");  // on the tab a station does not have
  host.Send("click Связь с офисом>Настройки>Прямое IP соединение");
  host.Send("version");
  ASSERT_NE(host.WaitFor("version:"), "") << host.Transcript();
  EXPECT_NE(host.Transcript().find(
                "pumpwire-host: 'cbQuality' is disabled or hidden; the dialog is cancelled"),
            std::string::npos)
      << host.Transcript();
  EXPECT_EQ(Greeting(old_port), "OK") << "nothing applied";

  host.Send("dialog click cbUseFastDataTravel");
  host.Send("dialog set se_srv_port " + std::to_string(new_port));
  host.Send("dialog print");
  host.Send("dialog press BitBtn1");
  host.Send("click Связь с офисом>Настройки>Прямое IP соединение");
  host.Send("version");  // done once the click's work is
  ASSERT_NE(host.WaitFor("version:"), "") << host.Transcript();

  const std::string t = host.Transcript();
  EXPECT_NE(t.find("modal: window: TConfigForm \"Настройка прямого IP соединения\" visible"),
            std::string::npos) << t;
  EXPECT_NE(t.find("dialog:   se_srv_port (SpinEdit): " + std::to_string(new_port)), std::string::npos) << t;
  EXPECT_NE(t.find("dialog:   seInetBuffSize (SpinEdit): 256000 range 96..5000000"), std::string::npos) << t;
  EXPECT_NE(t.find("dialog:   TabSheet3 (TabSheet) disabled tab-hidden: \"Интерактив\""), std::string::npos) << t;

  EXPECT_EQ(Greeting(new_port), "OKF") << "fast transfer is on now";
  EXPECT_THROW(Greeting(old_port), Error);
  const std::string ini = ReadFile(root / "cnf.INI");
  EXPECT_NE(ini.find("InPort=" + std::to_string(new_port) + "\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("useFastDatTravel=1\r\nInetBuffSize=256000\r\n"), std::string::npos) << ini;

  host.Send("quit");
  EXPECT_EQ(host.WaitFor("UnLoad:"), "UnLoad: 0");
  EXPECT_EQ(host.Finish(), 0);
}

}  // namespace
}  // namespace pw::test
