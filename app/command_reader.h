// The line commands on standard input, read on a thread of their own and
// carried out on the real windows through window messages, as a test or a
// person's tool would drive them from outside. A command that acts waits
// until the main thread has taken the action and is back in a message loop
// (see main_thread_link.h), so a click that opens a modal window does not
// hold the next command.
#pragma once

#include "app/plugin_api.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "app/console_io.h"
#include "app/main_thread_link.h"
#include "app/plugin_library.h"
#include "app/shown_windows.h"
#include "host/folder_host.h"

namespace pw::app {

// What the commands reach of the application.
struct CommandTargets {
  HWND main_window;
  std::uint8_t mode;
  Output& out;
  MainThreadLink& link;
  const ShownWindows& shown;
  host::FolderHost& host;
  PluginLibrary& plugin;
};

class CommandReader {
 public:
  explicit CommandReader(CommandTargets targets);
  // Runs each line until "quit" or the end of input, then closes the main
  // window (which unloads the plug-in).
  void Run(Input& input);

 private:
  void Execute(const std::string& line);
  // After an action: waits for the main thread, and says so when it is busy
  // past the bound.
  void AwaitMainThread();
  // Runs task on the main thread, as the application's own call.
  void OnMainThread(std::function<void()> task);

  void Click(const std::string& path);
  void Press(const std::string& name);
  void Type(const std::string& text);
  void Answer(const std::string& args);
  void Wait(const std::string& args);
  // The visible window of that class; nullptr, told as command's error,
  // when none.
  HWND VisibleWindowFor(const char* command, const std::string& window_class);
  void Close(const std::string& window_class);
  void Size(const std::string& args);
  void Post(const std::string& args);
  void Windows(const std::string&);
  void Controls(const std::string& window_class);
  void Menus(const std::string&);
  void Version(const std::string&);
  void Station(const std::string& args);
  void AutoSend(const std::string&);
  void AutoSendOffice(const std::string& address);
  void RefreshPassword(const std::string&);
  void AddMenus(const std::string&);
  void Modal(const std::string& text);
  void Tab(const std::string& args);
  void Echo(const std::string& text);

  CommandTargets t_;
  const std::map<std::string, void (CommandReader::*)(const std::string&)> commands_;
};

}  // namespace pw::app
