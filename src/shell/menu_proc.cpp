#include "shell/menu_proc.h"
#include "ui/dispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>

#include "interactive/file_send.h"
#include "interactive/interactive_form.h"
#include "interactive/screenshot_request.h"
#include "interactive/tv_session.h"
#include "interactive/send_my_ip.h"
#include "interactive/send_services.h"
#include "interactive/send_text_message.h"
#include "interactive/show_history_form.h"
#include "interactive/text_input_form.h"
#include "office/inet_office_form.h"
#include "station/inet_form.h"
#include "station/recipients.h"
#include "pumpwire/plugin.h"
#include "services/event_log.h"
#include "services/settings.h"
#include "services/worker_threads.h"
#include "shell/plugin_state.h"
#include "shell/settings_dialog.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw {

namespace {

using Handler = void (CMenuProc::*)();

// What a menu item's click context points at. These live as long as the
// library, not the handler object: the host keeps the items after UnLoad,
// and a click then finds no handler object and does nothing.
struct MenuAction {
  Handler handler;
};

constexpr MenuAction kDirectConnection{&CMenuProc::DirectConnectionClick};
constexpr MenuAction kSettingsDialog{&CMenuProc::SettingsDialogClick};
constexpr MenuAction kSendTextMessage{&CMenuProc::SendTextMessageClick};
constexpr MenuAction kSendFile{&CMenuProc::SendFileClick};
constexpr MenuAction kSendMyIP{&CMenuProc::SendMyIPClick};
constexpr MenuAction kShowScreenshot{&CMenuProc::ShowScreenshotClick};
constexpr MenuAction kWatchStationTV{&CMenuProc::WatchStationTVClick};
constexpr MenuAction kMessageHistory{&CMenuProc::MessageHistoryClick};
constexpr MenuAction kStationBoard{&CMenuProc::StationBoardClick};

void PW_CALL OnMenuClick(void* context) {
  const auto* action = static_cast<const MenuAction*>(context);
  CMenuProc* proc = State().menu_proc.get();
  if (proc == nullptr) return;
  // As a task of the main thread: a box or dialog the command opens serves
  // the workers' work, not the host's next command. Nothing may unwind into
  // the host.
  ui::Dispatcher::instance().run_as_task([&] {
    try {
      (proc->*(action->handler))();
    } catch (const std::exception& e) {
      try {
        // A command's error may quote what a peer sent.
        AddToLog(std::string("Ошибка: "_w) + text::VisibleText(e.what()));
      } catch (...) {
        ui::Dispatcher::instance().report_current_exception();
      }
    } catch (...) {
      ui::Dispatcher::instance().report_current_exception();
    }
  });
}

constexpr int kHelpContext = 78;

// Appends a new item under parent and sets it up in the host's order:
// caption, hint, help context, shortcut, click handler.
MenuItem Made(const MenuItem& parent, std::string_view caption, int help_context,
              const MenuAction* action = nullptr) {
  MenuItem item = State().Host().CreateMenuItem(parent, -1);
  item.SetCaption(std::string(caption));
  item.SetHint("");
  item.SetHelpContext(help_context);
  item.SetShortCut(0);
  item.SetOnClick(action != nullptr ? &OnMenuClick : nullptr,
                  const_cast<MenuAction*>(action));
  return item;
}

MenuItem FoundOrMade(const MenuItem& parent, std::string_view caption, int help_context) {
  if (MenuItem found = parent.Find(std::string(caption))) return found;
  return Made(parent, caption, help_context);
}

std::int32_t OutPort() { return TheSettings().OutPort; }

enum class SendThread { Main, Own };

// The interactive commands connect through the window of the mode, which
// Load has made; UnLoad joins the file sender's thread before freeing it.
// The office's own connections have no connect limit; one made on the main
// thread takes ConnectTimeOut, so the host's windows wait no longer.
interactive::SendServices SendServicesOfMode(SendThread thread);

// How long a command the main thread waits for may hold it: the connect and
// a few reads (the handshake's lines and the command's own), each within its
// limit, and never more than two minutes (two minutes when reads have no
// limit). A peer trickling a byte per read limit is cut then.
std::chrono::milliseconds MainThreadExchangeBound() {
  constexpr std::int64_t kMostMs = 120000;
  constexpr std::int64_t kReads = 6;
  const std::int64_t read_ms = TheSettings().ReadTimeOut;
  const std::int64_t connect_ms = std::max<std::int64_t>(TheSettings().ConnectTimeOut, 0);
  if (read_ms <= 0) return std::chrono::milliseconds(kMostMs);
  return std::chrono::milliseconds(std::min(kMostMs, connect_ms + kReads * read_ms));
}

// The commands the host's main thread starts and waits for run their
// exchange on a helper thread, while the main thread goes on serving the
// listeners' and workers' hand-overs (so stations are answered meanwhile)
// and the windows paint. Past the bound, or at a stop of the program, the
// exchange's connection is closed, which the log tells first.
void RunBounded(const std::string& address, const std::function<void(Worker&)>& exchange) {
  Worker stop;
  ui::Dispatcher::instance().run_off_main_thread([&] { exchange(stop); }, MainThreadExchangeBound(), [&] {
    AddToLog(std::string("Обмен с "_w) + address + std::string(" прерван"_w));
    stop.RequestStop();
  });
}

interactive::SendServices SendServicesOfMode(SendThread thread) {
  PluginState& state = State();
  interactive::SendServices services;
  services.log = [](std::string_view line) { AddToLog(line); };
  if (state.is_station()) {
    if (!state.station_window) state.station_window = std::make_unique<station::TInetForm>(state);
    station::TInetForm* window = state.station_window.get();
    services.window_log = [window](std::string_view line) { AddToLog(line, &window->log); };
    services.connect = [window](protocol::Session& client, const std::string& address, int port,
                                std::string&) {
      return window->ConnectToServer(client, address, port);
    };
    services.disconnect = [window](protocol::Session& client) {
      window->DisconnectFromServer(client);
    };
  } else {
    if (!state.office_window)
      state.office_window = std::make_unique<office::TInetOfficeForm>(state);
    office::TInetOfficeForm* window = state.office_window.get();
    services.window_log = [window](std::string_view line) { AddToLog(line, &window->log); };
    const int connect_limit = thread == SendThread::Main ? TheSettings().ConnectTimeOut.load() : 0;
    services.connect = [window, connect_limit](protocol::Session& client,
                                               const std::string& address, int port,
                                               std::string& station_name) {
      window->ConnectToServer(client, address, port, station_name, connect_limit);
      return !station_name.empty();
    };
    services.disconnect = [window](protocol::Session& client) {
      window->DisconnectFromServer(client);
    };
  }
  return services;
}

// The TV sessions' lines: their error line to the file, the connection
// step's to the office window.
interactive::TVServices TVServicesOfOffice() {
  PluginState& state = State();
  if (!state.office_window) state.office_window = std::make_unique<office::TInetOfficeForm>(state);
  office::TInetOfficeForm* window = state.office_window.get();
  interactive::TVServices services;
  services.log = [](std::string_view line) { AddToLog(line); };
  services.window_log = [window](std::string_view line) { AddToLog(line, &window->log); };
  return services;
}

}  // namespace

void AddMenus() {
  const PluginState& state = State();
  const MenuItem root = state.Host().GetMainMenu();
  const MenuItem top =
      FoundOrMade(root, state.is_station() ? "Связь с о&фисом"_w : "Связь"_w, kHelpContext);
  Made(top, "-", 0);
  Made(top, "Прямое IP соединение"_w, kHelpContext, &kDirectConnection);
  MenuItem settings = top.Find(std::string("Настройки"_w));
  if (!settings) {
    Made(top, "-", 0);
    settings = Made(top, "Настройки"_w, kHelpContext);
  }
  Made(settings, "Прямое IP соединение "_w, kHelpContext, &kSettingsDialog);
  const MenuItem interactive = Made(top, "Интерактивный обмен"_w, 0);
  Made(interactive, "Отправить текстовое сообщение"_w, kHelpContext, &kSendTextMessage);
  Made(interactive, "Отправить файл"_w, kHelpContext, &kSendFile);
  Made(interactive, "Отправить свой IP адрес"_w, kHelpContext, &kSendMyIP);
  if (state.is_office()) {
    Made(interactive, "Показать скриншот с АЗС"_w, kHelpContext, &kShowScreenshot);
    Made(interactive, "Следить за АЗС (ТВ АЗС)"_w, kHelpContext, &kWatchStationTV);
  }
  Made(interactive, "-", kHelpContext);
  Made(interactive, "История сообщений"_w, kHelpContext, &kMessageHistory);
  // The office's board, after the items above so that theirs keep their
  // places in the host's menu.
  if (state.is_office()) Made(top, "Табло станций"_w, kHelpContext, &kStationBoard);
}

std::string MenuTargetAddress() {
  const PluginState& state = State();
  if (state.is_office()) return state.Host().GetCurrentStation(0).Address;
  if (!state.station_window) return {};
  return station::ExtractStationAddress(state.station_window->cb_IP.caption);
}

void CMenuProc::StationBoardClick() {
  PluginState& state = State();
  if (state.office_window) state.office_window->StationsClick();
}

void CMenuProc::DirectConnectionClick() {
  PluginState& state = State();
  if (state.is_station()) {
    if (!state.station_window) state.station_window = std::make_unique<station::TInetForm>(state);
    state.station_window->Show();
    return;
  }
  if (!state.office_window) state.office_window = std::make_unique<office::TInetOfficeForm>(state);
  office::TInetOfficeForm& window = *state.office_window;
  window.Show();
  try {
    window.cb_IP.caption = state.Host().GetCurrentStation(0).Address;
    if (!window.cb_IP.caption.empty()) window.BitBtn1Click();
  } catch (...) {
    // The host may have no current station: the window keeps its address.
  }
}
void CMenuProc::SettingsDialogClick() { OpenSettingsDialog(State()); }

// The address and port are read at the click, and again once the prompt
// has closed: the operator may have chosen another station meanwhile.
void CMenuProc::SendTextMessageClick() {
  PluginState& state = State();
  if (!state.text_input) state.text_input = std::make_unique<interactive::TTextInputForm>();
  const std::string text = state.text_input->PromptMessage(MenuTargetAddress(), OutPort());
  if (text.empty()) return;
  const interactive::SendServices services = SendServicesOfMode(SendThread::Main);
  const std::string address = MenuTargetAddress();
  RunBounded(address, [&](Worker& stop) {
    interactive::SendTextMessage(services, address, OutPort(), text, &stop);
  });
}

void CMenuProc::SendFileClick() {
  interactive::ChooseAndSendFile(SendServicesOfMode(SendThread::Own), State().workers,
                                 MenuTargetAddress(), OutPort());
}

void CMenuProc::SendMyIPClick() {
  const interactive::SendServices services = SendServicesOfMode(SendThread::Main);
  const std::string address = MenuTargetAddress();
  RunBounded(address, [&](Worker& stop) { interactive::SendMyIP(services, address, OutPort(), &stop); });
}

void CMenuProc::ShowScreenshotClick() {
  PluginState& state = State();
  if (!state.is_office()) return;  // the item exists at the office only
  if (!state.message_window)
    state.message_window = std::make_unique<interactive::TInteractiveForm>(state);
  const interactive::SendServices services = SendServicesOfMode(SendThread::Main);
  const std::string address = MenuTargetAddress();
  interactive::TInteractiveForm& messages = *state.message_window;
  RunBounded(address, [&](Worker& stop) {
    interactive::RequestScreenshot(services, messages, address, OutPort(), &stop);
  });
}

void CMenuProc::WatchStationTVClick() {
  PluginState& state = State();
  if (!state.is_office()) return;  // the item exists at the office only
  const StationInfo station = state.Host().GetCurrentStation(0);
  interactive::StartStationTV(state.TVSessions, state.workers, TVServicesOfOffice(), station.Address,
                              OutPort(), station.Name, station.Number);
}
void CMenuProc::MessageHistoryClick() { interactive::OpenMessageHistory(); }

}  // namespace pw
