#include "app/command_reader.h"

#include <commctrl.h>

#include <chrono>
#include <sstream>

#include "app/menu_walk.h"
#include "app/utf8.h"
#include "app/window_description.h"
#include "app/window_lookup.h"
#include "host/station_choice.h"
#include "text/cp1251.h"

namespace pw::app {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// How long the main thread may stay away from its message loop after an
// action (a report the host is making on it, say) before the next command
// goes on without it.
constexpr milliseconds kMainThreadBound = seconds(60);
// How long "answer" and "wait" wait for a window by default.
constexpr milliseconds kWindowBound = seconds(10);

// What a message box says: the texts of its labels.
std::string BoxText(HWND box) {
  std::string text;
  for (HWND child : Descendants(box)) {
    if (ClassOf(child) != L"Static") continue;
    const std::string label = TextOf(child);
    if (!label.empty()) text += (text.empty() ? "" : " ") + label;
  }
  return text;
}

// A whole number of seconds, 0 to a day.
bool ParseSeconds(const std::string& text, milliseconds& bound) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int n = std::stoi(text);
  if (n > 86400) return false;
  bound = seconds(n);
  return true;
}

// The visible message box of this process, topmost first.
HWND FindMessageBox() { return FindVisibleWindow(L"#32770"); }

// The top-level window is disabled while a modal window of the plug-in or
// the application is open over it: a person could not reach its controls.
bool Reachable(HWND control) {
  return ::IsWindowVisible(control) && ::IsWindowEnabled(control) &&
         ::IsWindowEnabled(::GetAncestor(control, GA_ROOT));
}

}  // namespace

CommandReader::CommandReader(CommandTargets targets)
    : t_(targets),
      commands_{{"click", &CommandReader::Click},
                {"press", &CommandReader::Press},
                {"type", &CommandReader::Type},
                {"answer", &CommandReader::Answer},
                {"wait", &CommandReader::Wait},
                {"close", &CommandReader::Close},
                {"size", &CommandReader::Size},
                {"post", &CommandReader::Post},
                {"windows", &CommandReader::Windows},
                {"controls", &CommandReader::Controls},
                {"menus", &CommandReader::Menus},
                {"version", &CommandReader::Version},
                {"station", &CommandReader::Station},
                {"autosend", &CommandReader::AutoSend},
                {"autosend-office", &CommandReader::AutoSendOffice},
                {"refresh-password", &CommandReader::RefreshPassword},
                {"addmenus", &CommandReader::AddMenus},
                {"modal", &CommandReader::Modal},
                {"tab", &CommandReader::Tab},
                {"echo", &CommandReader::Echo}} {}

void CommandReader::Run(Input& input) {
  for (;;) {
    const std::optional<std::string> line = input.ReadLine();
    if (!line || *line == "quit") break;
    Execute(*line);
  }
  // Closing the window unloads the plug-in. A modal window open over it is
  // closed first, as its close box would (a message box without one stays,
  // and the application waits for it).
  ::PostMessageW(t_.main_window, WM_CLOSE, 0, 0);
  if (!::IsWindowEnabled(t_.main_window)) {
    for (HWND window : VisibleTopLevelWindows()) {
      if (::IsWindowEnabled(window) && ::GetWindow(window, GW_OWNER) == t_.main_window) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        break;
      }
    }
  }
}

void CommandReader::Execute(const std::string& line) {
  const auto space = line.find(' ');
  const std::string word = line.substr(0, space);
  const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
  if (word.empty()) return;
  const auto command = commands_.find(word);
  if (command == commands_.end()) {
    t_.out.Error("unknown command '" + word + "' (see --help)");
    return;
  }
  (this->*command->second)(arg);
}

void CommandReader::AwaitMainThread() {
  if (!t_.link.Sync(kMainThreadBound))
    t_.out.Error("the application's main thread has not come back to its message loop; going on");
}

void CommandReader::OnMainThread(std::function<void()> task) {
  if (!t_.link.Post(std::move(task))) {
    t_.out.Error("the application window is gone");
    return;
  }
  AwaitMainThread();
}

// The menu bar's own way: WM_COMMAND with the item's command, posted as a
// click on the menu posts it.
void CommandReader::Click(const std::string& path) {
  std::string problem;
  const UINT command = FindMenuCommand(::GetMenu(t_.main_window), path, problem);
  if (command == 0) {
    t_.out.Error(problem);
    return;
  }
  if (!::IsWindowEnabled(t_.main_window)) {
    t_.out.Error("the application window is disabled: a modal window is open over it");
    return;
  }
  ::PostMessageW(t_.main_window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  AwaitMainThread();
}

void CommandReader::Press(const std::string& name) {
  HWND control = FindNamedControl(name);
  if (control == nullptr) {
    t_.out.Error("no visible window has a control '" + name + "'");
    return;
  }
  if (!Reachable(control)) {
    t_.out.Error("'" + name + "' is hidden or disabled, or a modal window is open over it");
    return;
  }
  ::PostMessageW(control, BM_CLICK, 0, 0);
  AwaitMainThread();
}

// Into the address box of the connection window, then Enter, as typed.
// Setting an edit's text tells nobody (a combo box's edit, and a memo, do
// not even notify their parent): the parent is told as typing would tell
// it, CBN_EDITCHANGE for the combo box, EN_CHANGE for a plain edit.
void CommandReader::Type(const std::string& text) {
  const std::wstring window_class = t_.mode == PW_MODE_STATION ? L"TInetForm" : L"TInetOfficeForm";
  HWND window = FindVisibleWindow(window_class);
  if (window == nullptr) {
    t_.out.Error("the connection window (" + Utf8FromWide(window_class) + ") is not shown");
    return;
  }
  HWND box = FindNamedControl(window, "cb_IP");
  if (box == nullptr || !Reachable(box)) {
    t_.out.Error("the connection window has no address box cb_IP to type into");
    return;
  }
  // The edit part of the combo box takes the text and the key.
  HWND edit = ::FindWindowExW(box, nullptr, L"Edit", nullptr);
  const bool combo = edit != nullptr;
  if (!combo) edit = box;
  const std::wstring wide = WideFromUtf8(text);
  DWORD_PTR ignored = 0;
  if (!::SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_NORMAL,
                             static_cast<UINT>(kMainThreadBound.count()), &ignored)) {
    t_.out.Error("the address box did not take the text");
    return;
  }
  const int id = ::GetDlgCtrlID(box);
  ::PostMessageW(::GetParent(box), WM_COMMAND, MAKEWPARAM(id, combo ? CBN_EDITCHANGE : EN_CHANGE),
                 reinterpret_cast<LPARAM>(box));
  const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC)) << 16;
  ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1 | scan);
  ::PostMessageW(edit, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(1 | scan | 0xC0000000u));
  AwaitMainThread();
}

// answer WORD [SECONDS]
void CommandReader::Answer(const std::string& args) {
  static const std::map<std::string, int> buttons = {
      {"yes", IDYES}, {"no", IDNO}, {"ok", IDOK}, {"cancel", IDCANCEL}};
  const auto space = args.find(' ');
  const std::string word = args.substr(0, space);
  milliseconds bound = kWindowBound;
  const auto button_id = buttons.find(word);
  if (button_id == buttons.end() || (space != std::string::npos && !ParseSeconds(args.substr(space + 1), bound))) {
    t_.out.Error("answer takes yes, no, ok or cancel [SECONDS], not '" + args + "'");
    return;
  }
  HWND box = t_.shown.WaitFor(FindMessageBox, bound);
  if (box == nullptr) {
    t_.out.Error("answer " + word + ": no message box within " + std::to_string(bound.count() / 1000) + " s");
    return;
  }
  const std::string caption = TextOf(box);
  HWND button = ::GetDlgItem(box, button_id->second);
  if (button == nullptr || !::IsWindowVisible(button)) {
    t_.out.Error("the message box \"" + OneLine(caption) + "\" has no " + word + " button");
    return;
  }
  const std::string text = BoxText(box);
  ::PostMessageW(button, BM_CLICK, 0, 0);
  AwaitMainThread();
  t_.out.Line("box: " + OneLine(caption) + " | " + OneLine(text) + " -> " + word);
  if (::IsWindow(box) && ::IsWindowVisible(box)) t_.out.Error("the message box is still open");
}

// wait CLASS [SECONDS]: until a window of that class is shown.
void CommandReader::Wait(const std::string& args) {
  const auto space = args.find(' ');
  const std::string window_class = args.substr(0, space);
  milliseconds bound = kWindowBound;
  if (window_class.empty() || (space != std::string::npos && !ParseSeconds(args.substr(space + 1), bound))) {
    t_.out.Error("wait takes CLASS [SECONDS], not '" + args + "'");
    return;
  }
  const std::wstring wide = WideFromUtf8(window_class);
  HWND window = t_.shown.WaitFor([&] { return FindVisibleWindow(wide); }, bound);
  if (window == nullptr) {
    t_.out.Error("wait: no " + window_class + " window within " + std::to_string(bound.count() / 1000) + " s");
    return;
  }
  t_.out.Line(DescribeWindow(window, t_.main_window));
}

HWND CommandReader::VisibleWindowFor(const char* command, const std::string& window_class) {
  HWND window = window_class.empty() ? nullptr : FindVisibleWindow(WideFromUtf8(window_class));
  if (window == nullptr)
    t_.out.Error(std::string(command) + ": no visible window of class '" + window_class + "'");
  return window;
}

void CommandReader::Close(const std::string& window_class) {
  HWND window = VisibleWindowFor("close", window_class);
  if (window == nullptr) return;
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  AwaitMainThread();
}

// As another part of the application addresses one of the plug-in's
// windows, shown or hidden: found by its class, sent a window message.
void CommandReader::Post(const std::string& args) {
  std::istringstream in(args);
  std::string window_class, rest;
  long message = 0;
  if (!(in >> window_class >> message) || (in >> rest) || message < WM_USER || message >= WM_APP) {
    t_.out.Error("post takes CLASS N with a message number N from 1024 to 32767, not '" + args + "'");
    return;
  }
  HWND window = FindOwnWindow(WideFromUtf8(window_class));
  if (window == nullptr) {
    t_.out.Error("post: no window of class '" + window_class + "'");
    return;
  }
  ::PostMessageW(window, static_cast<UINT>(message), 0, 0);
  AwaitMainThread();
}

// As the operator drags the window's frame: the window's own thread gets
// the move as from the system's sizing loop (WM_SIZE and the rest).
void CommandReader::Size(const std::string& args) {
  std::istringstream in(args);
  std::string window_class;
  int width = 0, height = 0;
  std::string rest;
  if (!(in >> window_class >> width >> height) || (in >> rest) || width <= 0 || height <= 0 ||
      width > 10000 || height > 10000) {
    t_.out.Error("size takes CLASS W H with two numbers from 1 to 10000, not '" + args + "'");
    return;
  }
  HWND window = VisibleWindowFor("size", window_class);
  if (window == nullptr) return;
  RECT outer{0, 0, width, height};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)),
                       ::GetMenu(window) != nullptr,
                       static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
  ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  AwaitMainThread();
}

void CommandReader::Windows(const std::string&) {
  const std::vector<HWND> windows = VisibleTopLevelWindows();
  for (HWND window : windows) t_.out.Line(DescribeWindow(window, t_.main_window));
  t_.out.Line("windows: " + std::to_string(windows.size()));
}

void CommandReader::Controls(const std::string& window_class) {
  HWND window = VisibleWindowFor("controls", window_class);
  if (window == nullptr) {
    t_.out.Line("controls: 0");
    return;
  }
  const std::vector<HWND> controls = Descendants(window);
  for (HWND control : controls) t_.out.Line(DescribeControl(control, window));
  t_.out.Line("controls: " + std::to_string(controls.size()));
}

void CommandReader::Menus(const std::string&) {
  for (const std::string& line : MenuLines(::GetMenu(t_.main_window))) t_.out.Line(line);
}

void CommandReader::Version(const std::string&) {
  OnMainThread([this] { t_.out.Line("version: " + text::utf8_from_cp1251(t_.plugin.GetVersion())); });
}

void CommandReader::Station(const std::string& args) {
  std::string problem;
  if (auto station = host::ParseStationChoice(args, problem)) t_.host.SetCurrentStation(std::move(*station));
  else t_.out.Error(problem);
}

void CommandReader::AutoSend(const std::string&) {
  OnMainThread([this] { t_.plugin.AutoSendInet(); });
}

void CommandReader::AutoSendOffice(const std::string& address) {
  OnMainThread([this, address = text::cp1251_from_utf8(address)] {
    t_.plugin.AutoSendInetFromOffice(0, address.c_str());
  });
}

void CommandReader::RefreshPassword(const std::string&) {
  OnMainThread([this] { t_.out.Line("RefreshPaswordData: " + std::to_string(t_.plugin.RefreshPaswordData())); });
}

void CommandReader::AddMenus(const std::string&) {
  OnMainThread([this] { t_.plugin.AddMenus(); });
}

// tab NAME N: the tab control carrying "pw:NAME" turns to its tab N (from
// 0) as a click on the tab would: TCM_SETCURFOCUS selects it and tells the
// parent (TCN_SELCHANGING, TCN_SELCHANGE), where TCM_SETCURSEL tells nobody.
void CommandReader::Tab(const std::string& args) {
  const auto space = args.find(' ');
  const std::string name = args.substr(0, space);
  const std::string number = space == std::string::npos ? "" : args.substr(space + 1);
  if (name.empty() || number.empty() || number.size() > 2 ||
      number.find_first_not_of("0123456789") != std::string::npos) {
    t_.out.Error("tab takes NAME N, not '" + args + "'");
    return;
  }
  HWND tabs = FindNamedControl(name);
  if (tabs == nullptr || ClassOf(tabs) != WC_TABCONTROLW) {
    t_.out.Error("no visible window has a tab control '" + name + "'");
    return;
  }
  if (!Reachable(tabs)) {
    t_.out.Error("'" + name + "' is hidden or disabled, or a modal window is open over it");
    return;
  }
  const int tab = std::stoi(number);
  DWORD_PTR count = 0;
  if (!::SendMessageTimeoutW(tabs, TCM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count) ||
      tab >= static_cast<int>(count)) {
    t_.out.Error("'" + name + "' has no tab " + number);
    return;
  }
  ::PostMessageW(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(tab), 0);
  AwaitMainThread();
}

// The application's own modal box over its main window, as the real
// application shows its questions; the plug-in's work goes on under it.
void CommandReader::Modal(const std::string& text) {
  OnMainThread([this, wide = WideFromUtf8(text)] {
    ::MessageBoxW(t_.main_window, wide.c_str(), L"pumpwire-app", MB_OK | MB_ICONINFORMATION);
  });
}

void CommandReader::Echo(const std::string& text) { t_.out.Line(text); }

}  // namespace pw::app
