// The office's connection window, TInetOfficeForm: the operator picks a
// station by address, starts a report request, lists the stations seen,
// reads the on-screen log and starts or stops the office's listening server.
// It also opens and closes the office's outgoing connections to stations.
//
// The window and its controls live on the main thread. ConnectToServer,
// DisconnectFromServer, CheckCancelled, the LastStationName accessors and
// connections() may be called from any thread; they touch the window only
// through AddToLog.
//
// Outgoing connections: every exchange owns its own protocol::Session and
// hands it to ConnectToServer and DisconnectFromServer, so two exchanges
// running at once never share a socket.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "office/connections.h"
#include "office/listener_context.h"
#include "office/office_listener.h"
#include "office/report_request.h"
#include "office/station_board.h"
#include "office/station_messages.h"
#include "protocol/body_transfer.h"
#include "protocol/session.h"
#include "services/locks.h"
#include "services/plugin_context.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw {
namespace interactive {
class TInteractiveForm;
}

namespace office {

class TStationsForm;

class TInetOfficeForm : public ui::Window {
 public:
  static constexpr int kClientWidth = 467;
  static constexpr int kClientHeight = 349;
  static constexpr int kHeightWithLog = 345;
  static constexpr int kHeightWithoutLog = 110;

  // Main thread. Hidden; FormCreate has run (address list, registry). The
  // server does not listen until RunServer.
  explicit TInetOfficeForm(PluginContext& plugin);
  // Main thread. Stops the server, waiting for its connections to end while
  // the main thread goes on serving them, then frees the registry.
  ~TInetOfficeForm() override;

  // Runs FormShow when the window was hidden.
  void Show() override;

  // The listening server on InPort, all local addresses. RunServer logs
  // "Сервер входящих подключений запущен" or "Не удалось запустить сервер: "
  // + the error; StopServer logs "Сервер остановлен" (also when it was not
  // running) or "Не удалось остановить сервер" + the error. Main thread (or
  // any thread but a connection's own).
  void RunServer();
  void StopServer();
  bool ServerActive() const { return IdTCPServer2.Active(); }
  int ServerPort() const { return IdTCPServer2.Port(); }
  OfficeListener& listener() { return IdTCPServer2; }

  // Opens session to address:port (callers pass OutPort) with the ReadTimeOut
  // limit and no connect limit (connect_timeout_ms, when given: the main
  // thread's sends), and runs the office's side of the handshake.
  // out_station_name is the station's name, "" when the connection could not
  // be opened; every failure is logged ("Ошибка при подключении к АЗС: ") and
  // leaves session closed. Never raises.
  void ConnectToServer(protocol::Session& session, const std::string& address, int port,
                       std::string& out_station_name, int connect_timeout_ms = 0);
  // Closes session, clears LastStationName, logs "Разорвано исходящее
  // соединение с АЗС"; false when that failed ("Ошибка при разрыве связи с
  // АЗС: " is logged).
  bool DisconnectFromServer(protocol::Session& session);
  // After a transfer loop: when the operator stopped the transfer, clears
  // ok and the stop flag, logs and shows "Обмен данными прерван
  // пользователем" (the calling thread waits for the box) and closes session;
  // an open outgoing one goes through DisconnectFromServer, which logs and
  // forgets the station. An incoming session is closed too: a body stopped
  // midway leaves its stream out of step. True when stopped.
  bool CheckCancelled(bool& ok, protocol::TransferProgress& progress, protocol::Session& session);

  // The station of the latest handshake in either direction; each read and
  // write is one indivisible step (LastStationNameLock).
  std::string LastStationName() const LOCKS_EXCLUDED(last_station_name_lock);
  void SetLastStationName(std::string name) LOCKS_EXCLUDED(last_station_name_lock);

  // The registry, FormCreate to destruction.
  Tconnections& connections() { return *connections_; }
  // The board of stations, in the station database (OfficeDB).
  StationBoard& board() { return *board_; }

  // What a report request needs of this window (the log, the host, the
  // progress windows, the folder, OutPort, the outgoing connection), taken
  // on the main thread when the request starts.
  ReportExchange MakeReportExchange();
  // What the listener's "TRY_GET_ZAPROS" and "Send_file" need, and their
  // installation in its command table (the constructor installs them with
  // MakeListenerContext; connections accepted later use the new ones).
  ListenerContext MakeListenerContext();
  void InstallReportCommands(ListenerContext context);
  // The stations' interactive commands ("SEND_MYIP", "SEND_TEXT",
  // "SEND_FILE2"), their notices going to messages, which must outlive the
  // listener; installed for connections accepted from then on. Main thread.
  void InstallInteractiveCommands(interactive::TInteractiveForm& messages);
  StationMessages MessagesSetup(interactive::TInteractiveForm& messages);

  using ui::Window::HandleMessage;
  void HandleMessage(const ui::Message& m) override;

  // Event handlers, main thread.
  void WMLogLine(std::string_view line);
  void cb_IPKeyUp(int key);
  void cb_IPSelect();
  void cb_logClick();
  void FormCreate();
  void FormShow();
  void FormClose();
  void N1Click();
  void N2Click();
  void BitBtn1Click();
  void BitBtn2Click();
  // Menu "Табло станций" (also the host's): shows the window "Станции".
  void StationsClick();
  TStationsForm& stations() { return *stations_; }

  // Controls. Captions are Windows-1251.
  ui::LogList log{*this, "log"};
  std::uint32_t log_color = 0x00E0E0E0;  // cl3DLight (0x00BBGGRR)
  int log_scroll_width = 1000;  // horizontal scroll extent of log
  ui::Control gb_Settings{*this, "gb_Settings"};
  ui::Label Label3{*this, "Label3"};
  ui::ComboBox cb_IP{*this, "cb_IP"};
  ui::CheckBox cb_log{*this, "cb_log"};
  ui::Button BitBtn1{*this, "BitBtn1"};
  ui::Button BitBtn2{*this, "BitBtn2"};
  ui::Button SpeedButton1{*this, "SpeedButton1"};
  ui::StatusBar StatusBar1{*this, "StatusBar1"};
  ui::MenuEntry MainMenu1;

 private:
  void FillAddressList();
  // The log, host, progress windows and folder every exchange step uses.
  ExchangeServices Services();
  void SetClientHeight(int h);

  PluginContext& plugin_;
  std::string last_station_name_ GUARDED_BY(last_station_name_lock);
  std::unique_ptr<Tconnections> connections_;
  std::shared_ptr<StationBoard> board_;
  std::unique_ptr<TStationsForm> stations_;  // made hidden with this window
  OfficeListener IdTCPServer2{*this};  // last: its connections use everything above
};

}  // namespace office
}  // namespace pw
