#include "station/inet_form.h"

#include <algorithm>
#include <exception>
#include <initializer_list>

#include "platform/tcp.h"
#include "protocol/handshake.h"
#include "interactive/interactive_form.h"
#include "interactive/progress_windows.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "services/form_placement.h"
#include "services/settings.h"
#include "services/wire_context.h"
#include "services/locks.h"
#include "station/auto_send_thread.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "ui/window_frame.h"

namespace pw::station {

namespace {

bool IsLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

const ui::MenuEntry* FindShortCut(const ui::MenuEntry& entry, int key) {
  for (const ui::MenuEntry& child : entry.children) {
    if (child.shortcut == key && child.on_click) return &child;
    if (const ui::MenuEntry* found = FindShortCut(child, key)) return found;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> NetworkAddresses(const std::vector<std::string>& addresses) {
  std::vector<std::string> networks;
  for (const std::string& a : addresses)
    if (!IsLoopback(a)) networks.push_back(a);
  return networks.empty() ? addresses : networks;
}

TInetForm::TInetForm(PluginContext& plugin)
    : ui::Window("TInetForm"),
      IdTCPServer1(&log, plugin),
      local_addresses(platform::LocalIpAddresses),
      plugin_(plugin) {
  caption = "Прямое IP соединение"_w;
  main_menu = &MainMenu1;
  start_exchange = [this] {
    MyTthread::Start(plugin_.workers, ExchangeSetup(), StationExchangeLock(), exchange_running);
  };
  IdTCPServer1.SetHandler("GET_OTCHET", [this](protocol::Session& session) {
    ServeReportRequest(session, ReportRequestSetup());
  });
  InstallPictureCommands(ScreenPictures{});
  tool_window = true;
  stays_on_top = true;
  client_width = kDesignClientWidth;
  width = ui::kToolWindowFrame.OuterWidth(client_width);
  SetClientHeight(kDesignClientHeight);

  gb_client.caption = "Настройка подключения"_w;
  Label3.caption = "IP Адрес офиса для подключения:"_w;
  Label1.caption =
      "Несколько получателей разделяются знаком \";\". Получатель - это IP адрес "
      "или адрес, затем \" - \" и название, например: 192.168.0.12 - Офис 1; 10.0.0.5"_w;
  SpeedButton1.hint = "Настройки"_w;
  SpeedButton1.glyph = "settings";
  cb_EnLog.caption = "Показывать лог"_w;
  cb_EnLog.checked = true;
  bSendToOffice.caption = "Отправить в офис"_w;
  StatusBar1.panels = {{150, {}}, {250, {}}};
  log.color = log_color;
  log.horizontal_extent = log_scroll_width;
  Label1.font = Label1_font;
  Label1.font_color = Label1_color;

  SpeedButton1.on_click = [this] { N1Click(); };
  cb_EnLog.on_click = [this] { cb_EnLogClick(); };
  bSendToOffice.on_click = [this] { bSendToOfficeClick(); };
  cb_IP.on_key_up = [this](int key) { cb_IPKeyUp(key); };
  cb_IP.on_select = [this] { cb_IPSelect(); };
  cb_IP.on_exit = [this] { cb_IPExit(); };
  BuildMenu();
  for (ui::Control* c : std::initializer_list<ui::Control*>{&Label3, &cb_IP, &SpeedButton1, &bSendToOffice,
                                                            &Label1, &cb_EnLog})
    c->parent = &gb_client;
  on_resize = [this] { Layout(); };
  Layout();

  FormCreate();
}

TInetForm::~TInetForm() {
  try {
    // Here, while the window is whole: the last connections still log to it.
    IdTCPServer1.Deactivate();
  } catch (...) {
    // Destroyed inside another stop: the listener's own destructor stops it.
  }
}

void TInetForm::BuildMenu() {
  ui::MenuEntry& link = MainMenu1.Add(ui::MenuEntry(std::string("Связь"_w)));
  link.Add(ui::MenuEntry(std::string("Соедениться с офисом"_w), [this] { bSendToOfficeClick(); }));
  link.Add(ui::MenuEntry("-"));
  link.Add(ui::MenuEntry(std::string("Настройки"_w), [this] { N1Click(); }));
  link.Add(ui::MenuEntry("-"));
  ui::MenuEntry& server = link.Add(ui::MenuEntry(std::string("Прослушивающий сервер"_w)));
  server.Add(ui::MenuEntry(std::string("Запуск"_w), [this] { RunServer(); }));
  server.Add(ui::MenuEntry(std::string("Стоп"_w), [this] { StopServer(); }));
  MainMenu1.Add(ui::MenuEntry(std::string("&Выход"_w), [this] { N3Click(); }, kEsc));
}

void TInetForm::SetClientHeight(int h) {
  client_height = h;
  height = ui::kToolWindowFrame.OuterHeight(h, ui::kMenuBarHeight);
  Layout();
}

void TInetForm::Layout() {
  // The settings on top, the status bar along the bottom, the log between
  // them taking what is left (none once the window is cut to the settings).
  constexpr int kStatusHeight = 19;
  constexpr int kLogTop = 126;
  const int w = client_width;
  gb_client.SetBounds(4, 2, w - 8, 120);
  Label3.SetBounds(12, 16, 200, 13);
  cb_IP.SetBounds(12, 32, 300, 21);
  SpeedButton1.SetBounds(318, 31, 23, 23);
  bSendToOffice.SetBounds(350, 30, std::max(w - 8 - 362, 60), 25);
  Label1.SetBounds(12, 60, w - 8 - 24, 28);
  cb_EnLog.SetBounds(12, 94, 120, 17);
  const int log_height = cb_EnLog.checked ? client_height - kLogTop - kStatusHeight - 4 : 0;
  log.SetBounds(4, kLogTop, w - 8, std::max(log_height, 0));
  StatusBar1.SetBounds(0, client_height - kStatusHeight, w, kStatusHeight);
}

void TInetForm::Show() {
  if (visible) return;  // FormShow belongs to the moment it comes up
  FormShow();
  ui::Window::Show();
}

void TInetForm::Close() {
  FormClose();
  Hide();
}

bool TInetForm::ShortCut(int key) {
  const ui::MenuEntry* entry = FindShortCut(MainMenu1, key);
  if (entry == nullptr) return false;
  entry->on_click();
  return true;
}

void TInetForm::FormCreate() {
  cb_IP.items.clear();
  for (const std::string& address : plugin_.remembered_addresses)
    if (!address.empty()) cb_IP.items.push_back(address);
  cb_IP.Select(0);
}

void TInetForm::FormShow() {
  RestorePlacement(*this);
  std::string address, host;
  try {
    const std::vector<std::string> addresses = local_addresses();
    if (!addresses.empty()) address = addresses.front();
  } catch (const std::exception&) {
    // No address list: the panel shows none.
  }
  try {
    host = platform::LocalHostName();
  } catch (const std::exception&) {
  }
  StatusBar1.panels[0].text = std::string("IP адрес: "_w) + address;
  StatusBar1.panels[1].text = std::string("Сетевое имя: "_w) + host;
}

void TInetForm::FormClose() {
  log.items.clear();
  log.item_index = -1;
  RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
}

void TInetForm::N3Click() {
  try {
    SavePlacement(*this);
  } catch (const std::exception& e) {
    // The window hides all the same; only its place is forgotten.
    AddToLog(std::string("Не удалось сохранить положение окна: "_w) + e.what(), &log);
  }
  Hide();
}

void TInetForm::N1Click() { plugin_.OpenSettingsDialog(&log); }

void TInetForm::cb_EnLogClick() {
  SetClientHeight(cb_EnLog.checked ? kLogShownHeight : kLogHiddenHeight);
}

void TInetForm::cb_IPExit() {
  ui::AssertOnMainThread("TInetForm::cb_IPExit");
  RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
}

void TInetForm::cb_IPSelect() {
  ui::AssertOnMainThread("TInetForm::cb_IPSelect");
  RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
  cb_IP.Select(0);
}

void TInetForm::cb_IPKeyUp(int key) {
  ui::AssertOnMainThread("TInetForm::cb_IPKeyUp");
  if (key == kEnter)
    RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
  else if (key == kRecallKey)
    cb_IP.Select(0);
}

void TInetForm::bSendToOfficeClick() {
  ui::AssertOnMainThread("TInetForm::bSendToOfficeClick");
  RememberAddress(cb_IP.caption, plugin_.remembered_addresses, cb_IP.items.edit());
  cb_IP.Select(0);
  if (exchange_running.load()) {
    const std::string_view question =
        "Возможно предыдущий сеанс связи еще не закончен!\r\n"
        "Начать новый сеанс связи?"_w;
    ui::BoxRequest box{std::string(), std::string(question), ui::Buttons::YesNo};
    box.on_top = true;
    const ui::Answer answer = ui::Operator::instance().ShowMessageBox(box);
    if (answer != ui::Answer::Yes) return;
  }
  exchange_running.store(false);
  if (!start_exchange) {
    AddToLog("Отправка отчета в офис пока недоступна"_w, &log);
    return;
  }
  // Set before the thread starts, so a thread that ends at once still
  // leaves it cleared.
  exchange_running.store(true);
  try {
    start_exchange();
  } catch (...) {
    exchange_running.store(false);
    throw;
  }
}

void TInetForm::RunServer() {
  ui::AssertOnMainThread("TInetForm::RunServer");
  try {
    const int port = TheSettings().InPort;
    std::vector<std::string> bindings;
    const std::vector<std::string> networks = NetworkAddresses(local_addresses());
    if (networks.size() > 1) {
      // Through a view: clang 14 crashes on a std::string made straight from this literal.
      const std::string_view lead = "Обнаружено несколько сетей: "_w;
      std::string line(lead);
      for (const std::string& address : networks) line += address + ";";
      AddToLog(line, &log);
      bindings = networks;
    }
    IdTCPServer1.Activate(port, bindings);
    AddToLog("Сервер входящих подключений запущен"_w, &log);
  } catch (const std::exception& e) {
    AddToLog(std::string("Не удалось запустить сервер: "_w) + e.what(), &log);
  }
}

void TInetForm::StopServer() {
  ui::AssertOnMainThread("TInetForm::StopServer");
  try {
    if (IdTCPServer1.Active()) IdTCPServer1.Deactivate();
    AddToLog("Сервер остановлен"_w, &log);
  } catch (const std::exception& e) {
    AddToLog(std::string("Не удалось остановить сервер: "_w) + e.what(), &log);
  }
}

bool TInetForm::ConnectToServer(protocol::Session& client, const std::string& host, int port) {
  if (client.Connected()) {
    AddToLog(std::string("Подключение уже установлено с "_w) + client.host(), &log);
    return false;
  }
  try {
    const WireContext wire = CurrentWireContext();
    const protocol::ConnectorSide side{wire, protocol::Connector::Station, &log,
                                       [this] { return plugin_.Host().GetOwnName(); }};
    return protocol::ConnectorHandshake(client, host, port, side).has_value();
  } catch (const std::exception& e) {
    client.Disconnect();
    AddToLog(std::string("Ошибка при подключении к офису: "_w) + text::VisibleText(e.what()), &log);
    return false;
  }
}

bool TInetForm::DisconnectFromServer(protocol::Session& client) {
  try {
    if (client.Connected()) client.Disconnect();
    if (client.Connected()) return false;
    AddToLog("Исходящее подключение разорвано"_w, &log);
    return true;
  } catch (const std::exception& e) {
    AddToLog(std::string("Не удалось отключится от сервера: "_w) + e.what(), &log);
    return false;
  }
}

std::string TInetForm::AddressBoxText() {
  std::string text;
  ui::RunOnMainThread([&] { text = cb_IP.caption; });
  return text;
}

StationServices TInetForm::Services() {
  StationServices services;
  services.log = [this](std::string_view line) { AddToLog(line, &log); };
  services.log_list = &log;
  services.host = &plugin_.Host();
  services.progress = interactive::ProgressWindows();
  services.folder = OfficeFolder();
  return services;
}

StationExchange TInetForm::ExchangeSetup() {
  StationExchange e;
  static_cast<StationServices&>(e) = Services();
  e.out_port = []() -> int { return TheSettings().OutPort; };
  e.address_box = [this] { return AddressBoxText(); };
  e.connect = [this](protocol::Session& client, const std::string& host, int port) {
    return ConnectToServer(client, host, port);
  };
  e.disconnect = [this](protocol::Session& client) { return DisconnectFromServer(client); };
  e.auto_mode = &plugin_.AutoMode;
  // The office that cannot be reached: an error box, on top.
  e.message_box = [](const std::string& caption, const std::string& text) {
    ui::BoxRequest box{caption, text, ui::Buttons::Ok, ui::BoxIcon::Error};
    box.on_top = true;
    ui::Operator::instance().ShowMessageBox(box);
  };
  return e;
}

ReportRequestService TInetForm::ReportRequestSetup() {
  ReportRequestService s;
  static_cast<StationServices&>(s) = Services();
  // The operator's notice of a request that could not be read: a message
  // box on the main thread.
  s.show_error = [](const std::string& text) {
    ui::Operator::instance().ShowMessageBox(std::string(), text, ui::Buttons::Ok);
  };
  return s;
}

OfficeMessages TInetForm::MessagesSetup(interactive::TInteractiveForm& messages) {
  OfficeMessages m;
  m.log = [this](std::string_view line) { AddToLog(line, &log); };
  m.log_list = &log;
  m.progress = interactive::ProgressWindows();
  m.folder = CurrentFolders().from_office;
  m.adopt_address = [this](const std::string& address) {
    ui::RunOnMainThread([&] {
      cb_IP.caption = address;
      RememberAddress(address, plugin_.remembered_addresses, cb_IP.items.edit());
    });
  };
  m.notify = [&messages](std::string_view title, std::string_view body) {
    messages.Notify(title, body);
  };
  return m;
}

void TInetForm::InstallInteractiveCommands(interactive::TInteractiveForm& messages) {
  const OfficeMessages m = MessagesSetup(messages);
  IdTCPServer1.SetHandler("SEND_MYIP", [m](protocol::Session& s) { ServeOfficeAddress(s, m); });
  IdTCPServer1.SetHandler("SEND_TEXT", [m](protocol::Session& s) { ServeOfficeText(s, m); });
  IdTCPServer1.SetHandler("SEND_FILE2", [m](protocol::Session& s) { ServeOfficeFile(s, m); });
}

void TInetForm::InstallPictureCommands(const ScreenPictures& pictures) {
  IdTCPServer1.SetHandler("GET_SCREENSHOT",
                          [pictures](protocol::Session& s) { ServeScreenshot(s, pictures); });
  IdTCPServer1.SetHandler("GET_TVSHOT", [pictures](protocol::Session& s) { ServeTvShot(s, pictures); });
}

void TInetForm::HandleMessage(const ui::Message& m) {
  if (m.msg != ui::WM_LOGLINE) {
    ui::Window::HandleMessage(m);
    return;
  }
  // The line comes as the message's text, or as a zero-terminated text that
  // lParam points to for the duration of a sent message.
  if (m.text.empty() && m.lparam != 0)
    WMLogLine(reinterpret_cast<const char*>(m.lparam));
  else
    WMLogLine(m.text);
}

void TInetForm::WMLogLine(std::string_view line) { log.AddLine(std::string(line)); }

}  // namespace pw::station
