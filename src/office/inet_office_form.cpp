#include "office/inet_office_form.h"

#include <exception>
#include <initializer_list>
#include <mutex>

#include "interactive/interactive_form.h"
#include "interactive/progress_windows.h"
#include "office/report_exchange_thread.h"
#include "office/report_reception.h"
#include "office/request_file_service.h"
#include "office/station_address_update.h"
#include "office/stations_form.h"
#include "platform/tcp.h"
#include "protocol/handshake.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "services/form_placement.h"
#include "services/locks.h"
#include "services/settings.h"
#include "services/wire_context.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "ui/window_frame.h"

namespace pw::office {

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeyTilde = 192;  // the key left of "1"
constexpr int kKeyEscape = 27;

}  // namespace

TInetOfficeForm::TInetOfficeForm(PluginContext& plugin)
    : ui::Window("TInetOfficeForm"), plugin_(plugin) {
  caption = Text("Прямое IP соединение "_w);
  main_menu = &MainMenu1;
  tool_window = true;
  stays_on_top = true;
  client_width = kClientWidth;
  width = ui::kToolWindowFrame.OuterWidth(kClientWidth);
  SetClientHeight(kClientHeight);

  gb_Settings.caption = Text("Настройка подключения"_w);
  Label3.caption = Text("Адрес подключения"_w);
  cb_IP.caption = "192.168.0.10";
  cb_IP.on_key_up = [this](int key) { cb_IPKeyUp(key); };
  cb_IP.on_select = [this] { cb_IPSelect(); };
  cb_IP.on_exit = [this] { cb_IPSelect(); };
  cb_log.caption = Text("Показывать лог"_w);
  cb_log.checked = true;
  cb_log.on_click = [this] { cb_logClick(); };
  BitBtn1.caption = Text("Отправить запрос"_w);
  BitBtn1.on_click = [this] { BitBtn1Click(); };
  BitBtn2.hint = Text("Список подключенных АЗС"_w);
  BitBtn2.glyph = "stations";
  BitBtn2.on_click = [this] { BitBtn2Click(); };
  SpeedButton1.glyph = "settings";
  SpeedButton1.on_click = [this] { N1Click(); };
  StatusBar1.panels = {{150, {}}, {50, {}}};
  log.color = log_color;
  log.horizontal_extent = log_scroll_width;

  // The settings group across the top, the log below it, the status bar at
  // the bottom edge.
  gb_Settings.SetBounds(8, 4, 451, 85);
  // The group's six sit in it, placed from its top left corner.
  for (ui::Control* c : std::initializer_list<ui::Control*>{&Label3, &cb_IP, &cb_log, &BitBtn1,
                                                            &BitBtn2, &SpeedButton1})
    c->parent = &gb_Settings;
  Label3.SetBounds(8, 18, 120, 13);
  cb_IP.SetBounds(8, 34, 248, 21);
  cb_log.SetBounds(8, 62, 120, 17);
  BitBtn1.SetBounds(264, 32, 108, 25);
  BitBtn2.SetBounds(378, 32, 25, 25);
  SpeedButton1.SetBounds(408, 32, 25, 25);
  log.SetBounds(8, 95, 451, 231);
  StatusBar1.SetBounds(0, 330, kClientWidth, 19);

  ui::MenuEntry& link = MainMenu1.Add(ui::MenuEntry(Text("Связь"_w)));
  link.Add(ui::MenuEntry(Text("Отправить запрос на отчет"_w), [this] { BitBtn1Click(); }));
  link.Add(ui::MenuEntry("-"));
  link.Add(ui::MenuEntry(Text("Настройка"_w), [this] { N1Click(); }));
  link.Add(ui::MenuEntry("-"));
  ui::MenuEntry& server = link.Add(ui::MenuEntry(Text("Сервер"_w)));
  server.Add(ui::MenuEntry(Text("Запустить"_w), [this] { RunServer(); }));
  server.Add(ui::MenuEntry(Text("Остановить"_w), [this] { StopServer(); }));
  link.Add(ui::MenuEntry("-"));
  link.Add(ui::MenuEntry(Text("Табло станций"_w), [this] { StationsClick(); }));
  MainMenu1.Add(ui::MenuEntry(Text("Выход"_w), [this] { N2Click(); }, kKeyEscape));

  FormCreate();
  InstallReportCommands(MakeListenerContext());
}

TInetOfficeForm::~TInetOfficeForm() {
  // Every connection thread uses the registry and the log: all of them end
  // here, while the window is still whole.
  try {
    IdTCPServer2.Deactivate();
  } catch (const std::exception&) {
    // Destroyed inside another stop: the listener's own destructor stops it.
  }
  connections_.reset();
}

void TInetOfficeForm::Show() {
  if (!visible) FormShow();
  ui::Window::Show();
}

void TInetOfficeForm::SetClientHeight(int h) {
  client_height = h;
  height = ui::kToolWindowFrame.OuterHeight(h, ui::kMenuBarHeight);
}

// ---- server ----

void TInetOfficeForm::RunServer() {
  ui::AssertOnMainThread("TInetOfficeForm::RunServer");
  try {
    IdTCPServer2.Activate(TheSettings().InPort);
    AddToLog("Сервер входящих подключений запущен"_w, &log);
  } catch (const std::exception& e) {
    AddToLog(Text("Не удалось запустить сервер: "_w) + e.what(), &log);
  }
}

void TInetOfficeForm::StopServer() {
  ui::AssertOnMainThread("TInetOfficeForm::StopServer");
  try {
    IdTCPServer2.Deactivate();
    AddToLog("Сервер остановлен"_w, &log);
  } catch (const std::exception& e) {
    AddToLog(Text("Не удалось остановить сервер"_w) + e.what(), &log);
  }
}

// ---- outgoing connection ----

void TInetOfficeForm::ConnectToServer(protocol::Session& session, const std::string& address,
                                      int port, std::string& out_station_name,
                                      int connect_timeout_ms) {
  out_station_name.clear();
  try {
    const WireContext wire = CurrentWireContext();
    const std::optional<std::string> name = protocol::ConnectorHandshake(
        session, address, port,
        {wire, protocol::Connector::Office, &log, {}, connect_timeout_ms});
    if (name) {
      SetLastStationName(*name);
      out_station_name = *name;
      board_->Contact(RegisteredName(*name), address);  // met in either direction
    }
  } catch (const protocol::PasswordRefused& e) {
    out_station_name.clear();
    try {
      DisconnectFromServer(session);
      AddToLog(Text("Ошибка при подключении к АЗС: "_w) + text::VisibleText(e.what()), &log);
    } catch (const std::exception&) {
      // The log file cannot be written; the empty name tells the caller.
    }
  } catch (const std::exception& e) {
    out_station_name.clear();
    // A broken greeting or a lost connection: the socket is closed all the
    // same, so no half-open session is left behind.
    session.Disconnect();
    try {
      AddToLog(Text("Ошибка при подключении к АЗС: "_w) + text::VisibleText(e.what()), &log);
    } catch (const std::exception&) {
    }
  }
}

bool TInetOfficeForm::DisconnectFromServer(protocol::Session& session) {
  try {
    session.Disconnect();
    SetLastStationName(std::string());
    AddToLog("Разорвано исходящее соединение с АЗС"_w, &log);
    return true;
  } catch (const std::exception& e) {
    try {
      AddToLog(Text("Ошибка при разрыве связи с АЗС: "_w) + e.what(), &log);
    } catch (const std::exception&) {
    }
    return false;
  }
}

bool TInetOfficeForm::CheckCancelled(bool& ok, protocol::TransferProgress& progress,
                                     protocol::Session& session) {
  const bool open_outgoing = session.outgoing() && session.Connected();
  // Notice, box and close, as every cancelled transfer ends.
  if (!protocol::CheckCancelled(CurrentWireContext(), progress, session, &log)) return false;
  ok = false;
  if (open_outgoing) DisconnectFromServer(session);
  return true;
}

std::string TInetOfficeForm::LastStationName() const {
  MutexLock lock(LastStationNameLock());
  return last_station_name_;
}

void TInetOfficeForm::SetLastStationName(std::string name) {
  MutexLock lock(LastStationNameLock());
  last_station_name_ = std::move(name);
}

// ---- report exchange ----

ExchangeServices TInetOfficeForm::Services() {
  ExchangeServices services;
  services.log = [this](std::string_view line) { AddToLog(line, &log); };
  services.log_list = &log;
  services.host = [this] { return plugin_.Host(); };
  services.progress = interactive::ProgressWindows();
  services.folder = OfficeFolder();
  services.board = board_;
  return services;
}

ReportExchange TInetOfficeForm::MakeReportExchange() {
  ReportExchange exchange;
  static_cast<ExchangeServices&>(exchange) = Services();
  exchange.out_port = TheSettings().OutPort;
  exchange.connect = [this](protocol::Session& session, const std::string& address, int port,
                            std::string& name) { ConnectToServer(session, address, port, name); };
  exchange.disconnect = [this](protocol::Session& session) { return DisconnectFromServer(session); };
  return exchange;
}

ListenerContext TInetOfficeForm::MakeListenerContext() {
  ListenerContext context;
  static_cast<ExchangeServices&>(context) = Services();
  context.find_name_by_ip = [this](const std::string& ip) { return connections().FindNameByIP(ip); };
  context.last_station_name = [this] { return LastStationName(); };
  return context;
}

void TInetOfficeForm::InstallReportCommands(ListenerContext context) {
  IdTCPServer2.SetCommandHandler("TRY_GET_ZAPROS", [context](protocol::Session& session) {
    ServeRequestFile(session, context);
  });
  IdTCPServer2.SetCommandHandler("Send_file", [context](protocol::Session& session) {
    ReceiveReport(session, context);
  });
}

StationMessages TInetOfficeForm::MessagesSetup(interactive::TInteractiveForm& messages) {
  StationMessages m;
  m.listener = MakeListenerContext();
  m.folder = CurrentFolders().from_azs;
  m.update_address = [this](const std::string& station, const std::string& address) {
    UpdateStationAddress(plugin_, station, address);
  };
  m.set_caption = [this](const std::string& text) {
    std::string now;
    ui::RunOnMainThread([&] {
      caption = text;
      now = caption;
    });
    return now;
  };
  m.notify = [&messages](std::string_view title, std::string_view body, std::string_view station) {
    messages.Notify(title, body, station);
  };
  return m;
}

void TInetOfficeForm::InstallInteractiveCommands(interactive::TInteractiveForm& messages) {
  const StationMessages m = MessagesSetup(messages);
  IdTCPServer2.SetCommandHandler("SEND_MYIP", [m](protocol::Session& s) { ServeStationAddress(s, m); });
  IdTCPServer2.SetCommandHandler("SEND_TEXT", [m](protocol::Session& s) { ServeStationText(s, m); });
  IdTCPServer2.SetCommandHandler("SEND_FILE2", [m](protocol::Session& s) { ServeStationFile(s, m); });
}

// ---- window events ----

void TInetOfficeForm::HandleMessage(const ui::Message& m) {
  if (m.msg == ui::WM_LOGLINE)
    WMLogLine(m.text);
  else
    ui::Window::HandleMessage(m);
}

void TInetOfficeForm::WMLogLine(std::string_view line) { log.AddLine(std::string(line)); }

void TInetOfficeForm::cb_IPKeyUp(int key) {
  ui::AssertOnMainThread("TInetOfficeForm::cb_IPKeyUp");
  if (key == kKeyEnter) {
    RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
  } else if (key == kKeyTilde) {
    if (!cb_IP.items.empty()) cb_IP.caption = cb_IP.items.front();
  }
}

void TInetOfficeForm::cb_IPSelect() {
  ui::AssertOnMainThread("TInetOfficeForm::cb_IPSelect");
  RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
  cb_IP.Select(0);
}

void TInetOfficeForm::cb_logClick() {
  SetClientHeight(cb_log.checked ? kHeightWithLog : kHeightWithoutLog);
}

void TInetOfficeForm::FillAddressList() {
  cb_IP.items.clear();
  for (const std::string& address : plugin_.remembered_addresses)
    if (!address.empty()) cb_IP.items.push_back(address);
}

void TInetOfficeForm::FormCreate() {
  FillAddressList();
  connections_ = std::make_unique<Tconnections>();
  board_ = std::make_shared<StationBoard>(CurrentFolders().office_db);
  stations_ = std::make_unique<TStationsForm>(*this, *board_, CurrentFolders().log_file);
}

void TInetOfficeForm::StationsClick() {
  ui::AssertOnMainThread("TInetOfficeForm::StationsClick");
  stations_->Show();
}

void TInetOfficeForm::FormShow() {
  const std::vector<std::string> addresses = platform::LocalIpAddresses();
  StatusBar1.panels[0].text =
      Text("IP адрес: "_w) + (addresses.empty() ? std::string() : addresses.front());
  StatusBar1.panels[1].text = Text("Сетевое имя: "_w) + platform::LocalHostName();
  FillAddressList();
  cb_IP.Select(0);
  RestorePlacement(*this);
}

void TInetOfficeForm::FormClose() {
  log.items.clear();
  log.item_index = -1;
  Hide();
}

void TInetOfficeForm::N1Click() { plugin_.OpenSettingsDialog(&log); }

void TInetOfficeForm::N2Click() {
  SavePlacement(*this);
  Hide();
}

void TInetOfficeForm::BitBtn1Click() {
  ui::AssertOnMainThread("TInetOfficeForm::BitBtn1Click");
  // Disabled only while the exchange's thread is being started.
  BitBtn1.enabled = false;
  try {
    RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
    cb_IP.Select(0);
    // The exchange uses the box's text as it is now.
    StartReportExchange(plugin_.workers, MakeReportExchange(), cb_IP.caption);
  } catch (...) {
    BitBtn1.enabled = true;
    throw;
  }
  BitBtn1.enabled = true;
}

void TInetOfficeForm::BitBtn2Click() {
  std::string text;
  {
    MutexLock lock(RegistryLock());
    text = connections_->GetListText();
  }
  ui::BoxRequest box{Text("Подключенные АЗС"_w), text, ui::Buttons::Ok};
  box.on_top = true;
  ui::Operator::instance().ShowMessageBox(box);
}

}  // namespace pw::office
