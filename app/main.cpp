// pumpwire-app: the back-office application as the plug-in meets it on
// Windows, for trying the plug-in's real windows and for tests. See --help.
#include "app/plugin_api.h"

#include <windows.h>

#include <string>

#include "app/application.h"
#include "host/host_options.h"
#include "platform/environment.h"

namespace {

const char kUsageHead[] = R"(Usage: pumpwire-app.exe station|office --root DIR [options]

A stand-in for the back-office application: a main window with a menu bar,
into which the plug-in (pumpwire.dll beside this program, or --plugin) puts
its items when the application loads it. Load is given the window's handle;
closing the window unloads the plug-in. Its host services are those of
pumpwire-host, over the folder DIR.

)";

const char kUsageCommands[] = R"(Commands on standard input (one per line, UTF-8), carried out on the real
windows through window messages; each command that acts waits until the
application's main thread has taken it and is back in a message loop (a
modal window the action opened does not hold the next command):
  click PATH               the menu bar's item at PATH (captions joined by
                           ">", matched ignoring "&", letter case and
                           surrounding blanks), as a click on it: WM_COMMAND
                           to the application window
  press NAME               BM_CLICK on the control carrying the window
                           property "pw:NAME" in the topmost visible window
                           that has one (refused when it is hidden or
                           disabled, or a modal window is open over it)
  type TEXT                TEXT into the address box cb_IP of the shown
                           connection window, then Enter
  answer yes|no|ok|cancel [SECONDS]
                           waits (10 s unless SECONDS) for a message box, or
                           takes the topmost one already open, and presses
                           that button; give it after the command that opens
                           the box
  wait CLASS [SECONDS]     waits (10 s unless SECONDS) for a visible window of
                           that window class and prints it
  close CLASS              the visible window of that class closed as by its
                           close box (WM_CLOSE)
  size CLASS W H           the visible window of that class given a client
                           area of W x H, as by dragging its frame
  post CLASS N             window message N (1024 to 32767) posted to the
                           window of that class, shown or hidden, as another
                           part of the application would (post TSmListForm
                           1025 shows the shift list)
  windows                  every visible top-level window of the process
  controls CLASS           every control inside the visible window of that
                           class
  menus                    the menu bar's tree, two blanks per level, with
                           each item's help context
  station [#N] NAME ADDRESS  office: the station the host has chosen from now
                           on (GetCurrentStation; ADDRESS is the last word)
  version                  GetVersion
  autosend                 AutoSendInet (station)
  autosend-office ADDRESS  AutoSendInetFromOffice (office)
  refresh-password         RefreshPaswordData
  addmenus                 AddMenus once more (Load has called it already)
  tab NAME N               the tab control carrying "pw:NAME" turns to its
                           tab N (from 0), as a click on that tab
  modal TEXT               the application's own message box (caption
                           "pumpwire-app") with TEXT over its main window;
                           "answer ok" closes it
  echo TEXT                prints TEXT: a script knows the commands before it
                           are done when it reads it
  quit                     close the window: UnLoad, its result, exit 0 (also
                           at the end of input); a modal window open over it
                           is closed first as by its close box (a message box
                           without one is waited for)

)";

const char kUsageOutput[] = R"(
Output lines (UTF-8, standard output):
  Load: N / UnLoad: N      the results of the exports
  log: TEXT                every new line of the event log, without its
                           time stamp
  host: CALL ARGS -> RESULT every call into the host that does something
  box: CAPTION | TEXT -> ANSWER   a message box and the button pressed
                           (line breaks print as \r and \n)
  window: CLASS "CAPTION" WxH owned-by-app: yes|no
                           a window ("windows", "wait"): its client size, and
                           whether the application window owns it
  windows: N               the end of the "windows" list
  control: NAME CLASS "TEXT" enabled|disabled visible|hidden CHECK X,Y WxH
                           a control ("controls"): its "pw:" name ("-" for
                           none), native class, text, state, check state
                           (checked, unchecked, indeterminate, or "-"), and
                           its place in the window's client area
  controls: N              the end of the "controls" list (0 when there is no
                           such window)
  version: TEXT, RefreshPaswordData: N   the answers of those exports
  pumpwire-app: ...        (standard error) an error; the program goes on

As a Windows GUI program it prints nothing when started without standard
output (from a desktop shortcut, say); redirect it to see the lines.
)";

std::string Usage() {
  return std::string(kUsageHead) + pw::host::kHostOptionsHelp + "\n" + kUsageCommands +
         pw::host::kHostFolderHelp + kUsageOutput;
}

}  // namespace

int main(int argc, char** argv) {
  pw::host::HostOptions options =
      pw::host::ParseHostOptions(pw::platform::ProgramArguments(argc, argv), "pumpwire-app", Usage());
  if (options.plugin.empty())
    options.plugin = pw::host::PluginBesideProgram(PUMPWIRE_PLUGIN_FILE, PUMPWIRE_PLUGIN_INSTALLED_DIR);
  pw::app::Application application(std::move(options));
  // The command reader may still wait on standard input, and the plug-in's
  // threads may still run when UnLoad gave 1: the process ends here, all
  // output already written.
  ::ExitProcess(static_cast<UINT>(application.Run()));
}
