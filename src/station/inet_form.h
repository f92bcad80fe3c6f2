// The station's connection window TInetForm: the office address box, the
// on-screen log, the send button, the menu that starts and stops the
// station's listening server, and the station's outgoing connection steps.
// One instance lives per process, created hidden when the plug-in loads at a
// station; closing or Esc only hides it.
//
// Threads: the window and its controls belong to the main thread. The
// exceptions are ConnectToServer, DisconnectFromServer and AddressBoxText,
// which any thread may call (the exchange threads do), and the listener's
// connection threads, which reach the window only through AddToLog.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/session.h"
#include "station/office_messages.h"
#include "station/report_exchange.h"
#include "station/report_request_service.h"
#include "station/screen_commands.h"
#include "services/plugin_context.h"
#include "station/station_listener.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw {
namespace interactive {
class TInteractiveForm;
}

namespace station {

// Which of the machine's addresses are its networks: those other than
// loopback (127.x.x.x); on a machine that has only loopback addresses,
// those. The listener binds to each network separately when there is more
// than one, and to all addresses at once otherwise (loopback included).
std::vector<std::string> NetworkAddresses(const std::vector<std::string>& addresses);

class TInetForm : public ui::Window {
 public:
  static constexpr int kDesignClientWidth = 499;
  static constexpr int kDesignClientHeight = 399;
  static constexpr int kLogShownHeight = 400;   // client height with the log shown
  static constexpr int kLogHiddenHeight = 160;  // and without it
  static constexpr int kEsc = 27;
  static constexpr int kEnter = 13;
  static constexpr int kRecallKey = 192;  // the key left of "1"

  // Main thread. Hidden; runs FormCreate. The listener is not started here:
  // the creator calls RunServer. plugin must outlive the window.
  explicit TInetForm(PluginContext& plugin);
  // Stops the listener (see protocol::Listener::Deactivate), then frees all.
  ~TInetForm() override;

  // Shows the window and runs FormShow.
  void Show() override;
  // The window's close box: FormClose, then hidden.
  void Close();
  // Runs the menu entry whose shortcut is key (Esc: "&Выход"); false when
  // no entry has it.
  bool ShortCut(int key);

  // Event handlers, main thread.
  void FormCreate();
  void FormShow();
  void FormClose();
  void N3Click();        // "&Выход", Esc
  void N1Click();        // "Настройки", SpeedButton1
  void cb_EnLogClick();  // after cb_EnLog.checked has changed
  void cb_IPExit();
  void cb_IPSelect();
  void cb_IPKeyUp(int key);
  void bSendToOfficeClick();  // also "Соедениться с офисом"

  // The listener. Main thread.
  void RunServer();
  void StopServer();

  // The station's outgoing connection, on the calling thread (any). True
  // once the office has accepted the handshake; failures are logged here.
  bool ConnectToServer(protocol::Session& client, const std::string& host, int port);
  bool DisconnectFromServer(protocol::Session& client);

  // The text of cb_IP, read on the main thread. Any thread.
  std::string AddressBoxText();

  using ui::Window::HandleMessage;
  void HandleMessage(const ui::Message& m) override;
  // WM_LOGLINE: the line goes to the end of the log and is selected; the
  // log keeps its last LogList::kKeptLines lines.
  void WMLogLine(std::string_view line);

  // Controls. Captions are Windows-1251.
  ui::LogList log{*this, "log"};
  ui::Control gb_client{*this, "gb_client"};
  ui::Label Label3{*this, "Label3"};
  ui::ComboBox cb_IP{*this, "cb_IP"};
  ui::Label Label1{*this, "Label1"};
  ui::Button SpeedButton1{*this, "SpeedButton1"};
  ui::CheckBox cb_EnLog{*this, "cb_EnLog"};
  ui::Button bSendToOffice{*this, "bSendToOffice"};
  ui::StatusBar StatusBar1{*this, "StatusBar1"};
  ui::MenuEntry MainMenu1;

  // How the backend draws them (colours as 0x00BBGGRR).
  std::uint32_t log_color = 0x00E0E0E0;  // light grey
  int log_scroll_width = 1000;           // horizontal scroll range, pixels
  bool log_anchored = true;              // grows with the window
  ui::Font Label1_font{"MS Sans Serif", 7};
  std::uint32_t Label1_color = 0x00FF0000;  // blue

  // The station listener, IdTCPServer1. Its log is this window's.
  StationListener IdTCPServer1;

  // Where RunServer and the status bar read the machine's addresses
  // (IdIPAddrMon1). Main thread.
  std::function<std::vector<std::string>()> local_addresses;

  // Set while an automatic send thread started by the send button runs: the
  // button sets it before starting one, the thread clears it when it ends
  // without an error. Any thread.
  std::atomic<bool> exchange_running{false};
  // Starts the report exchange on a new automatic send thread (MyTthread)
  // and returns at once. Main thread.
  std::function<void()> start_exchange;

  // What the report exchange and the listener's "GET_OTCHET" use of this
  // window and of the plug-in. Main thread (the listener's wiring calls
  // ReportRequestSetup on its connection threads: it reads no window).
  StationExchange ExchangeSetup();
  ReportRequestService ReportRequestSetup();

  // Installs the office's interactive commands ("SEND_MYIP", "SEND_TEXT",
  // "SEND_FILE2") in the listener, their notices going to messages, which
  // must outlive the listener. Connections accepted from then on serve
  // them. Main thread.
  void InstallInteractiveCommands(interactive::TInteractiveForm& messages);
  // What those commands use of this window. Main thread.
  OfficeMessages MessagesSetup(interactive::TInteractiveForm& messages);

  // Installs "GET_SCREENSHOT" and "GET_TVSHOT" with the screen copies of
  // pictures (the window installs them with the machine's own screen when
  // it is made). Connections accepted from then on use them. Any thread.
  void InstallPictureCommands(const ScreenPictures& pictures);

 private:
  StationServices Services();

  PluginContext& plugin_;

  void SetClientHeight(int h);
  void Layout();
  void BuildMenu();
};

}  // namespace station
}  // namespace pw
