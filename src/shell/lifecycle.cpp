#include "shell/lifecycle.h"

#include <functional>

#include "interactive/interactive_form.h"
#include "interactive/sm_list_form.h"
#include "interactive/text_input_form.h"
#include "office/inet_office_form.h"
#include "station/inet_form.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "platform/ini_file.h"
#include "shell/menu_proc.h"
#include "shell/plugin_state.h"
#include "shell/settings_dialog.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "ui/backend.h"
#include "ui/dispatcher.h"

namespace pw {

namespace {

// How long UnLoad waits for the plug-in's threads once it has stopped them.
constexpr std::chrono::milliseconds kUnloadWait{5000};

// The guarded part of Load: any error here gives result 1 and skips the rest
// of it, while the unguarded part still runs.
void SetUpMenuAndSettings(std::uint32_t app_window, std::uint8_t mode, PwHostServices* host) {
  PluginState& state = State();
  state.application_window = app_window;
  state.mode = mode;
  state.host.emplace(host);
  state.menu_proc = std::make_unique<CMenuProc>();
  AddMenus();
  const IniFile ini(IniFilePath());
  state.remembered_addresses.clear();
  ReadAllSettings(ini, TheSettings(), state.remembered_addresses);
}

// What cannot be taken as it stands in cnf.INI, told in the log; true when
// all is well.
// Keys nobody reads are told too, but leave the result alone: a file
// another version wrote may hold keys of its own.
bool ReportSettingsProblems() {
  const IniFile ini(IniFilePath());
  const std::vector<std::string> problems = SettingsProblems(ini, TheSettings());
  for (const std::string& line : problems) AddToLog(line);
  for (const std::string& line : UnknownSettingsKeys(ini)) AddToLog(line);
  return problems.empty();
}

void SetUpIncomingFolder(const PluginState& state) {
  const Folders folders = CurrentFolders();
  platform::CreateDirectories(state.is_station() ? folders.from_office : folders.from_azs);
}

// Temporaries of receptions that a killed process left half written, in the
// folders where received files land. Before the listener starts: no
// reception of ours is under way, and none of them holds a peer's file,
// since a received name of their pattern is refused.
void ClearStaleTemporaries(const PluginState& state) {
  const Folders folders = CurrentFolders();
  for (const std::string& folder :
       {state.is_station() ? folders.from_office : folders.from_azs, folders.office}) {
    if (const std::size_t removed = platform::RemoveTemporaries(folder); removed > 0)
      AddToLog(std::string("Удалено временных файлов прерванного приема: "_w) +
               std::to_string(removed) + " (" + folder + ")");
  }
}

// A log file that cannot be written, told once per run of lost lines: to
// the host's report (pumpwire-host prints it on standard error) and in the
// message window, where the application's operator sees it. Posted: the
// line may be lost on any thread, in the middle of any work.
void TellLogFailure(std::string_view error) {
  ui::Dispatcher::instance().report(LogFailureLine(error));
  ui::Dispatcher::instance().post([text = std::string(error)] {
    if (State().message_window)
      State().message_window->ShowNotice(std::string("Ошибка записи в журнал"_w), text);
  });
}

// One step of Load or UnLoad: an error it raises (a folder that cannot be
// made, say) is told to the host, and the next step still runs.
bool Step(const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (...) {
    ui::Dispatcher::instance().report_current_exception();
    return false;
  }
}

}  // namespace

std::int32_t LoadPlugin(std::uint32_t app_window, std::uint8_t mode, PwHostServices* host) {
  // The host calls every export on its user-interface thread. A host that
  // drives the headless windows itself has made it the main thread already;
  // otherwise the application's own loop carries it, and the OS's windows
  // show the models.
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  const bool host_drives_windows = dispatcher.has_main_thread();
  dispatcher.attach_main_thread();
  PluginState& state = State();
  if (!host_drives_windows && !state.native_ui)
    state.native_ui = renderer::InstallNativeUi(app_window);
  state.AutoMode = false;
  SetLogFailureNotice(TellLogFailure);
  state.open_settings_dialog = [] { OpenSettingsDialog(State()); };
  std::int32_t result = 0;
  try {
    SetUpMenuAndSettings(app_window, mode, host);
  } catch (...) {
    result = 1;
  }
  // The host normally provides LogFiles; made here too so no line is lost.
  platform::CreateDirectories(CurrentFolders().log_files);
  if (!Step([&] { if (!ReportSettingsProblems()) result = 1; })) result = 1;
  // The message window parks itself below the screen until a notice comes.
  // It is made first: the listener's commands show their notices in it.
  state.text_input = std::make_unique<interactive::TTextInputForm>();
  state.message_window = std::make_unique<interactive::TInteractiveForm>(state);
  Step([&] { SetUpIncomingFolder(state); });
  Step([&] { ClearStaleTemporaries(state); });
  // The connection window of the mode, hidden, with its listener running.
  if (state.is_station()) {
    state.station_window = std::make_unique<station::TInetForm>(state);
    state.station_window->InstallInteractiveCommands(*state.message_window);
    Step([&] { state.station_window->RunServer(); });
  } else {
    state.office_window = std::make_unique<office::TInetOfficeForm>(state);
    state.office_window->InstallInteractiveCommands(*state.message_window);
    Step([&] { state.office_window->RunServer(); });
  }
  state.shift_list = std::make_unique<interactive::TSmListForm>();
  // Whoever wants a choice of shifts finds it by its class and shows it
  // with its message, while it is hidden.
  ui::CurrentBackend().WindowAddressable(*state.shift_list);
  return result;
}

std::int32_t UnLoadPlugin() {
  PluginState& state = State();
  // Lines lost from here on are told without the message window.
  SetLogFailureNotice(nullptr);
  try {
    state.menu_proc.reset();
    // No code of the library may run once it is unloaded: every thread it
    // started ends here, its sockets closed so that its reads fail at once,
    // before the windows and state it uses are freed.
    if (!state.workers.StopAll(kUnloadWait)) {
      // Still running past the wait: its windows are kept (not freed under
      // it) and the host hears of it.
      ui::Dispatcher::instance().report(
          "UnLoad: threads of the plug-in did not end in time; their windows are kept");
      // The listeners still stop: no new connection runs our code.
      if (state.station_window) Step([&] { state.station_window->StopServer(); });
      if (state.office_window && state.office_window->ServerActive())
        Step([&] { state.office_window->StopServer(); });
      // Their windows and the main thread's window stay, and so must the
      // code they call.
      if (state.native_ui) state.native_ui->KeepLoaded();
      (void)state.native_ui.release();
      (void)state.station_window.release();
      (void)state.office_window.release();
      (void)state.text_input.release();
      (void)state.message_window.release();
      (void)state.shift_list.release();
      return 1;
    }
    // A log line these steps cannot write is told, and lost alone.
    state.station_window.reset();  // its listener stops with it
    if (state.office_window && state.office_window->ServerActive())
      Step([&] { state.office_window->StopServer(); });
    state.office_window.reset();
    state.remembered_addresses.clear();
    for (auto& session : state.TVSessions) session.reset();
    state.text_input.reset();
    state.message_window.reset();
    state.shift_list.reset();
    state.native_ui.reset();
    return 0;
  } catch (...) {
    return 1;
  }
}

void AutoSendInetStation() {
  PluginState& state = State();
  state.AutoMode = true;
  if (!state.station_window) return;  // called at the office: nothing to send
  station::TInetForm& window = *state.station_window;
  if (TheSettings().showWND) window.Show();
  // The same start as the window's send button, without its question and
  // without the running marker, which belongs to the button.
  if (window.start_exchange) window.start_exchange();
}

void RefreshPasswordSettings() { ReadPasswordSettings(IniFile(IniFilePath()), TheSettings()); }

void AutoSendInetOffice(const std::string& address) {
  PluginState& state = State();
  if (!state.office_window) return;  // called at a station: no office window
  office::TInetOfficeForm& window = *state.office_window;
  window.Show();
  window.cb_IP.caption = address;
  window.BitBtn1Click();
}

const char* VersionText() { return "1.02 от 11.11.2008"_w.data(); }

}  // namespace pw
