// pumpwire-host: loads the plug-in as the back-office application would,
// serves its HostServices over a folder, takes the operator's commands from
// standard input and prints what the plug-in shows and logs.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/environment.h"
#include "host/board_print.h"
#include "host/dialog_driver.h"
#include "host/exchange_watch.h"
#include "host/folder_host.h"
#include "host/folder_setup.h"
#include "host/host_options.h"
#include "host/log_tail.h"
#include "host/menu_paths.h"
#include "host/message_watch.h"
#include "host/picture_files.h"
#include "host/station_choice.h"
#include "host/window_printer.h"
#include "platform/dynamic_library.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/own_listeners.h"
#include "platform/stop_requests.h"
#include "sync/mutex.h"
#include "pumpwire/plugin.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/controls.h"
#include "ui/operator.h"
#include "ui/window.h"

namespace {

using pw::text::cp1251_from_utf8;
using pw::text::utf8_from_cp1251;

const char kUsageHead[] = R"(Usage: pumpwire-host station|office --root DIR [options]

Loads the Pumpwire plug-in into a host that serves it over the folder DIR,
reads commands from standard input (one per line) and prints what the
plug-in shows and logs.

)";

const char kUsageCommands[] = R"(Commands:
  menu                     print the host menu tree, two blanks per level,
                           with each item's help context
  click PATH               click the menu item at PATH (captions joined by
                           ">", matched ignoring "&", letter case and
                           surrounding blanks)
  answer yes|no|ok|cancel  queue the answer to the next message box (with none
                           queued, a box takes its first button); the text
                           prompt and other modal windows take ok or cancel
  choose [PATH]            queue the file the next file-open dialog picks
                           (without PATH: the dialog is cancelled); with none
                           queued, the dialog is cancelled
  message TEXT             queue what the operator types into the next text
                           prompt, replacing its text; "\n" in TEXT is a line
                           break, "\\" a backslash. Without it the prompt
                           keeps the text it held
  station NAME ADDRESS     office: the station the host has chosen from now
                           on (GetCurrentStation; ADDRESS is the last word,
                           NAME the words before it; its number is 0)
  station #N NAME ADDRESS  the same, with the station's number N
  auto                     station: AutoSendInet, the automatic exchange with
                           each office of the address box (see "type"); the
                           next commands wait until it has ended
  auto ADDRESS             office: AutoSendInetFromOffice, the automatic
                           exchange with the station at ADDRESS; the next
                           commands wait until it has ended
  tv close NAME            close the TV viewer NAME (e.g. TVAZS7) as the
                           operator would
  tv size NAME W H         drag the TV viewer NAME to a client area of W x H
                           (frames are asked for at W x (H - 15))
  version                  print GetVersion
  windows                  list every window with its caption and visibility
  window                   print the connection window of the mode: caption,
                           visibility, sizes, every control (cb_IP's text and
                           items, the status bar, the on-screen log lines)
  type TEXT                put TEXT into cb_IP and press Enter
  press NAME               press the connection window's button NAME (e.g.
                           bSendToOffice, BitBtn1)
  listener start|stop      the connection window's menu: start or stop the
                           listening server
  stations                 office: the list button (the connected stations
                           appear in a message box)
  board                    office: the board of stations kept in OfficeDB
                           (every station met: last contact, last report,
                           last request, today's exchanges, last failure;
                           the oldest report first, "!" where no report came
                           since ReportDeadline)
  board --csv PATH         the same written to PATH as CSV (UTF-8, header row)
  history                  open the message history viewer and print it
  dialog set NAME VALUE    for the next modal window (a dialog opened by a
                           click, e.g. the settings dialog): type VALUE into
                           its control NAME (a number box, a slider, a text
                           box, or the item of a drop-down list to choose)
  dialog click NAME        for the next modal window: click its check box or
                           radio button NAME
  dialog press NAME        for the next modal window: press its button NAME
                           (the settings dialog: BitBtn1 "Применить", BitBtn2
                           "Отменить"); a closing button closes it, and the
                           actions queued after it wait for the next one
  dialog print             for the next modal window: print its controls as
                           they are at that point
  dialog clear             forget the dialog actions not done yet
                           (Actions are done in order while the window is
                           shown; disabled or hidden controls refuse them.
                           Without a closing press the window takes the
                           queued answer, as "answer" says.)
  quit                     UnLoad, print its result, exit (also at end of
                           input)
                           (station, stations, board and tv are the office's, auto
                           without an address the station's: typed at the
                           other end they are refused)

)";

const char kUsageOutput[] = R"(Output lines:
  Load: N / UnLoad: N      the results of the exports
  box: CAPTION | TEXT -> ANSWER   every message box and the answer it got
                           (line breaks in texts print as \r and \n)
  open: CAPTION -> PATH    every file-open dialog and the file it picked
                           ("-> cancel" when none)
  modal: ...               every modal window while it is shown, then its
                           controls
  dialog: ...              every dialog action as it is done, and the
                           controls "dialog print" shows
  log: TEXT                every new line of the event log, without its
                           time stamp
  message: "CAPTION" | TEXT  the message window's notice, whenever it changes
                           ("message: hidden" when the operator closes it)
  history: TEXT            every new line of the message history, without its
                           time stamp
  screenshot: "CAPTION" WxH -> PATH   each screenshot shown, and its file
  tv: NAME "CAPTION" WxH | STATISTICS [-> PATH]   a TV viewer whose
                           caption, statistics line or frame changed (WxH: its
                           picture's size; PATH: the file of a new frame);
                           "tv: NAME gone" when it is released
  host: CALL ARGS -> RESULT every call into the host that does something,
                           with its answer ("none", a path, or "error: ...")
  listening: PORT...       after Load and after "listener start": the ports
                           the plug-in's listener has bound ("none" when it
                           has not), InPort=0 taking any free one
  pumpwire-host: ...       (standard error) an error; the host goes on
  pumpwire-host: warning: ...  (standard error) a listener that did not
                           start, a setting that is not a number, a password
                           that lets nobody in, a key nothing reads,
                           --password with the check off

Ctrl-C or SIGTERM: UnLoad, its result, exit, as quit does, once the
plug-in's call under way (a report the host is making, say) has returned; a
text, address or screenshot exchange under way is cut at once; a second one
ends the host at once.

Exit status:
  0                        all went well
  1                        the host could not start (the plug-in not loaded)
  2                        a mistake on the command line
  3                        the listener did not start (at Load or by
                           "listener start")
  4                        an exchange started by "auto" sent or fetched no
                           report (the log says why); before 3
)";

std::string Usage() {
  return std::string(kUsageHead) + pw::host::kHostOptionsHelp + "\n" + kUsageCommands +
         pw::host::kHostFolderHelp + "\n" + kUsageOutput;
}

using Options = pw::host::HostOptions;

Options ParseOptions(int argc, char** argv) {
  Options o = pw::host::ParseHostOptions(pw::platform::ProgramArguments(argc, argv), "pumpwire-host", Usage());
  if (o.plugin.empty())
    o.plugin = pw::host::PluginBesideProgram(PUMPWIRE_PLUGIN_FILE, PUMPWIRE_PLUGIN_INSTALLED_DIR);
  return o;
}

// One writer for stdout and stderr, shared by the main thread and the
// host's callbacks from the plug-in's threads, so lines never mix.
class Output {
 public:
  void Line(const std::string& utf8) { Write(stdout, utf8); }
  // "pumpwire-host: " + utf8 on standard error.
  void Error(const std::string& utf8) { Write(stderr, "pumpwire-host: " + utf8); }

 private:
  void Write(std::FILE* to, const std::string& utf8) {
    pw::MutexLock lock(mu_);
    std::fwrite(utf8.data(), 1, utf8.size(), to);
    std::fputc('\n', to);
    std::fflush(to);
  }

  pw::Mutex mu_;  // one line at a time on both streams
};

void PrintMenu(Output& out, const pw::host::HostMenuItem& item, int depth) {
  for (const auto& child : item.children) {
    out.Line(std::string(depth * 2, ' ') + utf8_from_cp1251(child->caption) + "  [" +
             std::to_string(child->help_context) + "]");
    PrintMenu(out, *child, depth + 1);
  }
}

struct Plugin {
  explicit Plugin(const std::string& path) : library(cp1251_from_utf8(path)) {
    load = library.Function<decltype(load)>("Load");
    unload = library.Function<decltype(unload)>("UnLoad");
    version = library.Function<decltype(version)>("GetVersion");
    auto_station = library.Function<decltype(auto_station)>("AutoSendInet");
    auto_office = library.Function<decltype(auto_office)>("AutoSendInetFromOffice");
    if (load == nullptr || unload == nullptr || version == nullptr || auto_station == nullptr ||
        auto_office == nullptr)
      throw pw::Error("the library lacks the plug-in's exports");
  }
  pw::platform::DynamicLibrary library;
  PwLoadProc load = nullptr;
  PwUnLoadProc unload = nullptr;
  PwGetVersionProc version = nullptr;
  PwAutoSendInetProc auto_station = nullptr;
  PwAutoSendInetFromOfficeProc auto_office = nullptr;
};

class HostProgram {
 public:
  HostProgram(Options options)
      : options_(std::move(options)),
        root_(cp1251_from_utf8(options_.root)),
        host_(root_ + "host" + pw::platform::kPathSeparator, cp1251_from_utf8(options_.name), options_.interface_version,
              [this](const std::string& line) { out_.Line(line); }),
        plugin_(options_.plugin) {
    host_.SetReportCommand(cp1251_from_utf8(options_.report_command));
  }

  int Run() {
    for (const std::string& warning : pw::host::PrepareHostFolder(options_)) out_.Error("warning: " + warning);
    auto& dispatcher = pw::ui::Dispatcher::instance();
    dispatcher.attach_main_thread();
    // Whatever a task of the main thread lets escape is told, and the loop
    // goes on.
    dispatcher.set_error_reporter(
        [this](std::string_view what) { out_.Error(utf8_from_cp1251(std::string(what))); });
    log_.emplace(root_ + "LogFiles/Pumpwire.log");
    messages_.emplace(root_ + "LogFiles/MessageHistory.log");
    pw::ui::Operator::instance().SetObserver(
        [this](const std::string& caption, const std::string& text, pw::ui::Answer answer) {
          FlushLog();
          out_.Line("box: " + pw::host::Printable(caption) + " | " + pw::host::Printable(text) +
                    " -> " + pw::ui::AnswerName(answer));
        });
    pw::ui::Operator::instance().SetOpenObserver(
        [this](const std::string& caption, const std::optional<std::string>& path) {
          FlushLog();
          out_.Line("open: " + pw::host::Printable(caption) + " -> " +
                    (path ? pw::host::Printable(*path) : std::string("cancel")));
        });
    pw::ui::Operator::instance().SetModalObserver([this](pw::ui::Window& window) {
      FlushLog();
      const auto lines = pw::host::DescribeWindow(window);
      for (std::size_t i = 0; i < lines.size(); ++i) out_.Line(i == 0 ? "modal: " + lines[i] : lines[i]);
      PrintPictureLines([&] { return pictures_.ModalShown(window); });
      dialog_.Drive(window, [this](const std::string& line) { out_.Line(line); },
                    [this](const std::string& line) { out_.Error(line); });
    });
    pw::host::CreateMenuPaths(host_, options_.menu_items);
    // Ctrl-C and SIGTERM end the host as quit does, once Load has returned.
    // A command under way that the main thread waits for (a text sent, a
    // screenshot) is cut at once, so the quit comes soon.
    const pw::platform::StopRequests stop_requests([&dispatcher, this] {
      dispatcher.request_stop();
      dispatcher.post_host([this] {
        if (quit_) return;
        stopped_ = true;
        Quit("");
      });
    });
    out_.Line("Load: " + std::to_string(plugin_.load(0, options_.mode, &host_)));
    FlushLog();
    PrintListening();

    const auto log_timer = dispatcher.set_timer(std::chrono::milliseconds(50), [this] { FlushLog(); });
    std::thread reader([this] { ReadCommands(); });
    dispatcher.run_until([this] {
      // Looked at after every task, so that no notice is missed when another
      // follows it before the next tick of the log timer.
      if (messages_->NoticeChanged()) FlushLog();
      else FlushViewers();
      return quit_;
    });
    dispatcher.kill_timer(log_timer);
    // Stopped by a request, the reader still waits for a line that may never
    // come: main ends the process without waiting for it.
    if (stopped_) reader.detach();
    else reader.join();
    FlushLog();
    // Whatever the plug-in still runs when it is released must not reach
    // this program's output, which goes before the library does.
    dispatcher.set_error_reporter(nullptr);
    pw::ui::Operator::instance().SetObserver(nullptr);
    pw::ui::Operator::instance().SetModalObserver(nullptr);
    pw::ui::Operator::instance().SetOpenObserver(nullptr);
    if (exchanges_.failed()) return kExchangeFailed;
    return listener_failed_ ? kListenerNotStarted : 0;
  }

 private:
  // The ports the listener has bound, as the OS tells them.
  void PrintListening() {
    const std::vector<int> ports = pw::platform::OwnListeningPorts();
    std::string line = "listening:";
    for (const int port : ports) line += " " + std::to_string(port);
    out_.Line(ports.empty() ? line + " none" : line);
  }

  // The plug-in's log lines an operator must not miss, told in plain
  // English on standard error beside the log line itself.
  void WarnOf(const std::string& line) {
    static const std::string listener = cp1251_from_utf8("Не удалось запустить сервер: ");
    static const std::string settings = cp1251_from_utf8("Ошибка в настройках: ");
    static const std::string not_number = cp1251_from_utf8(" - не число");
    static const std::string unknown = cp1251_from_utf8("Неизвестный ключ в настройках: ");
    if (exchanges_.Line(line))
      // The commands that waited for the exchange run now, outside this
      // flush (which a command may be running).
      pw::ui::Dispatcher::instance().post_host([this] { RunWaitingCommands(); });
    if (line.rfind(unknown, 0) == 0) {
      const std::string what = line.substr(unknown.size());
      out_.Error("warning: cnf.INI: " + utf8_from_cp1251(what.substr(0, what.find('='))) +
                 " is not a key of section Inet; nothing reads it");
    } else if (line.rfind(listener, 0) == 0) {
      listener_failed_ = true;
      out_.Error("warning: the listener did not start: " + utf8_from_cp1251(line.substr(listener.size())));
    } else if (line.rfind(settings, 0) == 0) {
      const std::string what = line.substr(settings.size());
      if (what.size() > not_number.size() && what.ends_with(not_number))
        out_.Error("warning: cnf.INI: " + utf8_from_cp1251(what.substr(0, what.size() - not_number.size())) +
                   " is not a number; the setting keeps its default");
      else if (what.rfind("PasswordEnable=", 0) == 0)
        out_.Error("warning: cnf.INI: " + utf8_from_cp1251(what.substr(0, what.find(' '))) +
                   " is neither 0 nor 1: every password is refused");
      else if (what.rfind("Password", 0) == 0)
        out_.Error("warning: cnf.INI: PasswordEnable=1, but Password is empty or not in its "
                   "scrambled form: every password is refused (write it with --password)");
    }
  }

  // The text of each new line, without the time stamp in front of it. A log
  // that cannot be read now (out of file descriptors) is told once and read
  // on from the same place later.
  void FlushLog() {
    const std::vector<std::string> lines = log_->PollTellingFailureOnce(
        [this](const std::string& what) { out_.Error(utf8_from_cp1251(what)); });
    for (const auto& line : lines) {
      const std::string text = pw::host::WithoutStamp(line);
      out_.Line("log: " + utf8_from_cp1251(text));
      WarnOf(text);
    }
    FlushMessages();
    FlushViewers();
  }

  void FlushViewers() {
    PrintPictureLines([this] { return pictures_.LookAtViewers(); });
  }

  // A picture that cannot be saved is told; the host goes on.
  template <class Look>
  void PrintPictureLines(const Look& look) {
    try {
      for (const auto& line : look()) out_.Line(line);
    } catch (const std::exception& e) {
      out_.Error(utf8_from_cp1251(e.what()));
    }
  }

  // The message window's notice and the history's new lines, after the log
  // lines that led to them.
  void FlushMessages() {
    if (!messages_) return;
    if (const auto notice = messages_->TakeNotice()) out_.Line(*notice);
    try {
      for (const auto& line : messages_->TakeHistory()) out_.Line(line);
      history_error_.clear();
    } catch (const std::exception& e) {
      // Told once; read on from the same place next time.
      if (history_error_ != e.what()) {
        history_error_ = e.what();
        out_.Error(utf8_from_cp1251(history_error_));
      }
    }
  }

  // Standard input is read on a thread of its own so the main thread stays
  // free to serve the plug-in's windows while the operator is silent.
  void ReadCommands() {
    std::string line;
    for (;;) {
      const bool got = static_cast<bool>(std::getline(std::cin, line));
      if (!got) line = "quit";
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // The host's own work: never started inside a wait of the plug-in.
      pw::ui::Dispatcher::instance().post_host([this, line] { Execute(line); });
      if (line == "quit") return;
    }
  }

  // While an exchange started by "auto" runs, the commands after it wait.
  void Execute(const std::string& line) {
    if (quit_) return;
    if (exchanges_.running() || !waiting_.empty()) {
      waiting_.push_back(line);
      return;
    }
    Run(line);
  }

  void RunWaitingCommands() {
    while (!waiting_.empty() && !exchanges_.running() && !quit_) {
      const std::string line = std::move(waiting_.front());
      waiting_.pop_front();
      Run(line);
    }
  }

  void Run(const std::string& line) {
    const auto space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
    if (word.empty()) return;
    const auto command = commands_.find(word);
    if (command == commands_.end()) {
      out_.Error("unknown command '" + word + "' (see --help)");
      return;
    }
    if (options_.mode == PW_MODE_STATION && (word == "station" || word == "stations" || word == "board" || word == "tv")) {
      out_.Error(word + " is a command of the office, not of a station");
      return;
    }
    try {
      command->second(arg);
    } catch (const std::exception& e) {
      // An error the plug-in lets escape is told; the next command still runs.
      out_.Error(utf8_from_cp1251(e.what()));
    }
    FlushLog();
  }

  void Menu(const std::string&) { PrintMenu(out_, host_.menu(), 0); }

  void Click(const std::string& path) {
    const pw::host::HostMenuItem* item = host_.menu().FindPath(cp1251_from_utf8(path));
    if (item == nullptr) {
      out_.Error("no menu item '" + path + "'");
      return;
    }
    if (!item->Click()) out_.Error("'" + path + "' has no click action");
  }

  void Answer(const std::string& word) {
    static const std::map<std::string, pw::ui::Answer> answers = {
        {"yes", pw::ui::Answer::Yes}, {"no", pw::ui::Answer::No},
        {"ok", pw::ui::Answer::Ok},   {"cancel", pw::ui::Answer::Cancel}};
    const auto it = answers.find(word);
    if (it == answers.end()) {
      out_.Error("answer takes yes, no, ok or cancel, not '" + word + "'");
      return;
    }
    pw::ui::Operator::instance().QueueAnswer(it->second);
  }

  void Choose(const std::string& path) {
    pw::ui::Operator::instance().QueueChosenFile(cp1251_from_utf8(path));
  }

  // "\n" is a line break as the prompt's box holds one (CR LF), "\\" a
  // backslash; any other backslash stays.
  void Message(const std::string& text) {
    std::string typed;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
        typed += text[++i] == 'n' ? "\r\n" : "\\";
        continue;
      }
      typed += text[i];
    }
    pw::ui::Operator::instance().QueueText(cp1251_from_utf8(typed));
  }

  void Station(const std::string& whole) {
    std::string problem;
    if (auto station = pw::host::ParseStationChoice(whole, problem)) host_.SetCurrentStation(std::move(*station));
    else out_.Error(problem);
  }

  // The host's scheduled exchange: the export an application calls for it.
  void Auto(const std::string& address) {
    FlushLog();  // earlier lines are no part of it
    if (options_.mode == PW_MODE_STATION) {
      if (!address.empty()) {
        out_.Error("auto ADDRESS is a command of the office; a station's auto takes no address");
        return;
      }
      pw::ui::Window* w = ConnectionWindow();
      auto* box = dynamic_cast<pw::ui::ComboBox*>(w != nullptr ? w->FindControl("cb_IP") : nullptr);
      exchanges_.StationStarted(box != nullptr ? box->caption : std::string());
      plugin_.auto_station();
    } else {
      if (address.empty()) {
        out_.Error("auto at the office takes the station's ADDRESS");
        return;
      }
      exchanges_.OfficeStarted();
      plugin_.auto_office(0, cp1251_from_utf8(address).c_str());
    }
  }

  void Version(const std::string&) { out_.Line("version: " + utf8_from_cp1251(plugin_.version())); }

  void Windows(const std::string&) {
    for (const pw::ui::Window* w : pw::ui::AllWindows()) out_.Line(pw::host::WindowSummary(*w));
  }

  // The connection window of the mode, or nullptr (with a message) if the
  // plug-in has none.
  pw::ui::Window* ConnectionWindow() {
    const std::string wanted = options_.mode == PW_MODE_STATION ? "TInetForm" : "TInetOfficeForm";
    for (pw::ui::Window* w : pw::ui::AllWindows())
      if (w->class_name() == wanted) return w;
    out_.Error("the plug-in has no " + wanted + " window");
    return nullptr;
  }

  void Window(const std::string&) {
    if (pw::ui::Window* w = ConnectionWindow())
      for (const auto& line : pw::host::DescribeWindow(*w)) out_.Line(line);
  }

  void Type(const std::string& text) {
    pw::ui::Window* w = ConnectionWindow();
    if (w == nullptr) return;
    pw::ui::Control* c = w->FindControl("cb_IP");
    auto* combo = dynamic_cast<pw::ui::ComboBox*>(c);
    if (combo == nullptr) {
      out_.Error("the window has no address box");
      return;
    }
    auto& box = *combo;
    box.caption = cp1251_from_utf8(text);
    if (box.on_key_up) box.on_key_up(13);  // Enter
  }

  void Listener(const std::string& what) {
    const std::map<std::string, std::vector<std::string>> captions = {
        {"start", {cp1251_from_utf8("Запуск"), cp1251_from_utf8("Запустить")}},
        {"stop", {cp1251_from_utf8("Стоп"), cp1251_from_utf8("Остановить")}}};
    const auto it = captions.find(what);
    if (it == captions.end()) {
      out_.Error("listener takes start or stop, not '" + what + "'");
      return;
    }
    pw::ui::Window* w = ConnectionWindow();
    if (w == nullptr) return;
    const pw::ui::MenuEntry* entry =
        w->main_menu != nullptr ? pw::host::FindMenuEntry(*w->main_menu, it->second) : nullptr;
    if (entry == nullptr || !entry->on_click) {
      out_.Error("the window's menu has no server item");
      return;
    }
    entry->on_click();
    if (what == "start") {
      FlushLog();
      PrintListening();
    }
  }

  void Press(const std::string& name) {
    pw::ui::Window* w = ConnectionWindow();
    pw::ui::Control* button = w != nullptr ? w->FindControl(name) : nullptr;
    if (button == nullptr || !button->on_click) {
      out_.Error("the window has no button '" + name + "'");
      return;
    }
    button->on_click();
  }

  // board | board --csv PATH
  void Board(const std::string& arg) {
    const std::vector<pw::platform::BoardLine> lines = pw::host::ReadBoardLines(root_);
    if (arg.empty()) {
      for (const std::string& line : pw::host::BoardTableLines(lines)) out_.Line(line);
      return;
    }
    const std::string csv_option = "--csv ";
    if (arg.rfind(csv_option, 0) != 0 || arg.size() == csv_option.size()) {
      out_.Error("board: expected 'board' or 'board --csv PATH'");
      return;
    }
    const std::string path = arg.substr(csv_option.size());
    pw::platform::WriteFileReplacing(cp1251_from_utf8(path), pw::platform::BoardCsv(lines));
    out_.Line("board: " + std::to_string(lines.size()) + " stations written to " + path);
  }

  void Stations(const std::string&) {
    pw::ui::Window* w = ConnectionWindow();
    pw::ui::Control* button = w != nullptr ? w->FindControl("BitBtn2") : nullptr;
    if (button == nullptr || !button->on_click) {
      out_.Error("no list of stations here (office only)");
      return;
    }
    button->on_click();
  }

  // tv close NAME | tv size NAME W H
  void Tv(const std::string& arg) {
    std::istringstream words(arg);
    std::string what, name;
    words >> what >> name;
    pw::ui::Window* viewer = nullptr;
    for (pw::ui::Window* w : pw::ui::AllWindows())
      if (w->class_name() == "TTVForm" && w->name == name) viewer = w;
    if (what != "close" && what != "size") {
      out_.Error("tv takes close NAME or size NAME W H, not '" + arg + "'");
      return;
    }
    if (viewer == nullptr) {
      out_.Error("no TV viewer '" + name + "'");
      return;
    }
    if (what == "close") {
      viewer->OperatorClose();
      return;
    }
    int w = 0, h = 0;
    if (!(words >> w >> h) || w <= 0 || h <= 0) {
      out_.Error("tv size takes NAME W H with two positive numbers, not '" + arg + "'");
      return;
    }
    viewer->SetClientSize(w, h);
  }

  void History(const std::string&) {
    const std::string caption = cp1251_from_utf8("История сообщений");
    const pw::host::HostMenuItem* item = FindHostItem(host_.menu(), caption);
    if (item == nullptr || !item->Click()) out_.Error("no message history item");
  }

  static const pw::host::HostMenuItem* FindHostItem(const pw::host::HostMenuItem& root,
                                                    const std::string& caption) {
    if (const auto* found = root.Find(caption)) return found;
    for (const auto& child : root.children)
      if (const auto* found = FindHostItem(*child, caption)) return found;
    return nullptr;
  }

  void Dialog(const std::string& command) {
    if (command == "clear") return dialog_.Clear();
    if (const std::string problem = dialog_.Queue(command); !problem.empty()) out_.Error(problem);
  }

  void Quit(const std::string&) {
    const int result = plugin_.unload();
    FlushLog();  // the lines UnLoad wrote come before its result
    out_.Line("UnLoad: " + std::to_string(result));
    quit_ = true;
  }

  Options options_;
  std::string root_;  // Windows-1251
  Output out_;
  pw::host::FolderHost host_;
  Plugin plugin_;
  std::optional<pw::host::LogTail> log_;
  std::optional<pw::host::MessageWatch> messages_;
  pw::host::PictureFiles pictures_{root_ + "host" + pw::platform::kPathSeparator + "pictures" +
                                   pw::platform::kPathSeparator};
  std::string history_error_;  // and the history's
  bool quit_ = false;  // main thread only
  pw::host::DialogDriver dialog_;  // main thread only
  bool stopped_ = false;  // by Ctrl-C or SIGTERM; main thread only
  pw::host::ExchangeWatch exchanges_;  // main thread only
  std::deque<std::string> waiting_;    // commands after a running "auto"; main thread only
  bool listener_failed_ = false;       // main thread only
  static constexpr int kListenerNotStarted = 3;
  static constexpr int kExchangeFailed = 4;

 public:
  bool StoppedByRequest() const { return stopped_; }

 private:
  const std::map<std::string, std::function<void(const std::string&)>> commands_ = {
      {"menu", [this](const std::string& a) { Menu(a); }},
      {"click", [this](const std::string& a) { Click(a); }},
      {"answer", [this](const std::string& a) { Answer(a); }},
      {"choose", [this](const std::string& a) { Choose(a); }},
      {"message", [this](const std::string& a) { Message(a); }},
      {"station", [this](const std::string& a) { Station(a); }},
      {"auto", [this](const std::string& a) { Auto(a); }},
      {"version", [this](const std::string& a) { Version(a); }},
      {"windows", [this](const std::string& a) { Windows(a); }},
      {"window", [this](const std::string& a) { Window(a); }},
      {"type", [this](const std::string& a) { Type(a); }},
      {"listener", [this](const std::string& a) { Listener(a); }},
      {"press", [this](const std::string& a) { Press(a); }},
      {"stations", [this](const std::string& a) { Stations(a); }},
      {"board", [this](const std::string& a) { Board(a); }},
      {"history", [this](const std::string& a) { History(a); }},
      {"tv", [this](const std::string& a) { Tv(a); }},
      {"dialog", [this](const std::string& a) { Dialog(a); }},
      {"quit", [this](const std::string& a) { Quit(a); }},
  };
};

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  try {
    HostProgram program(std::move(options));
    const int code = program.Run();
    // The command reader may still be blocked on standard input: the process
    // ends here, the plug-in already unloaded.
    if (program.StoppedByRequest()) {
      std::fflush(stdout);  // not all streams: the reader holds standard input's lock
      std::fflush(stderr);
      std::_Exit(code);
    }
    return code;
  } catch (const std::exception& e) {
    std::cerr << "pumpwire-host: " << utf8_from_cp1251(e.what()) << "\n";
    return 1;
  }
}
