// The stand-in for the back-office application: a main window with a menu
// bar, the plug-in loaded with LoadLibraryW and called through its seven
// exports, Load given the window's handle, a plain GetMessage loop, and
// UnLoad when the window closes. The host services are the folder host's,
// its main menu the window's real menu bar.
#pragma once

#include "app/plugin_api.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "app/console_io.h"
#include "app/headless_bridge.h"
#include "app/log_watch.h"
#include "app/main_thread_link.h"
#include "app/menu_bar.h"
#include "app/menu_bar_host.h"
#include "app/plugin_library.h"
#include "app/shown_windows.h"
#include "host/host_options.h"
#include "host/log_tail.h"

namespace pw::app {

class Application {
 public:
  explicit Application(host::HostOptions options);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Runs until the window is closed (by a person, or by "quit" or the end
  // of standard input); the program's exit code.
  int Run();

 private:
  static constexpr UINT_PTR kLogTimer = 1;

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateMainWindow();
  void LoadPlugin();
  void MessageLoop();
  // WM_CLOSE: UnLoad, its result, and the window goes.
  void Close();
  // Every new line of the event log, as "log: TEXT". Main thread only.
  void FlushLog();

  host::HostOptions options_;
  std::string root_;  // Windows-1251
  Output out_;
  Input input_;  // read by the command reader's thread only
  HWND window_ = nullptr;
  std::unique_ptr<MenuBar> bar_;
  std::unique_ptr<MenuBarHost> host_;
  std::unique_ptr<MainThreadLink> link_;
  std::unique_ptr<ShownWindows> shown_;
  std::unique_ptr<PluginLibrary> plugin_;
  std::unique_ptr<HeadlessBridge> bridge_;
  std::optional<host::LogTail> log_;
  std::unique_ptr<LogWatch> log_watch_;
  bool loaded_ = false;
  bool close_pending_ = false;  // asked while a modal window was open
};

}  // namespace pw::app
