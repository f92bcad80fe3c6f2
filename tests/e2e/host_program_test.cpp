#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "dialgate_file.h"
#include "host_process.h"
#include "platform/environment.h"
#include "platform/stop_requests.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw::test {
namespace {

TEST(HostProgram, StationShowsItsMenuAndVersionAndUnloadsCleanly) {
  TempFolder root;
  HostProcess host({"station", "--root", root.path(), "--name", "АЗС 3", "--menu-item",
                    "Файл>Выход", "--set", "InPort=0"});
  EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
  host.Send("menu");
  host.Send("version");
  EXPECT_EQ(host.WaitFor("version:"), "version: 1.02 от 11.11.2008");
  host.Send("click связь с офисом > интерактивный обмен > история сообщений");
  host.Send("quit");
  EXPECT_EQ(host.WaitFor("UnLoad:"), "UnLoad: 0");
  EXPECT_EQ(host.Finish(), 0);

  const auto& lines = host.lines();
  const auto at = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  // The host's own item first, then the plug-in's tree after it.
  EXPECT_LT(at("Файл  [0]"), at("Связь с о&фисом  [78]")) << host.Transcript();
  EXPECT_LT(at("  Выход  [0]"), at("Связь с о&фисом  [78]"));
  EXPECT_LT(at("    Прямое IP соединение   [78]"), at("  Интерактивный обмен  [0]"));
  EXPECT_EQ(at("    Показать скриншот с АЗС  [78]"), static_cast<long>(lines.size()));  // office only
  // The click reached the plug-in, which showed the history viewer.
  EXPECT_NE(host.Transcript().find("modal: window: TShowHistoryForm"), std::string::npos)
      << host.Transcript();
}

TEST(HostProgram, SettingsGoToCnfIniAndBadInputIsReportedNotFatal) {
  TempFolder root;
  HostProcess host({"office", "--root", root.path(), "--set", "OutPort=7100", "--set",
                    "PhonebookEntry=Модем", "--set", "InPort=0"});
  EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
  host.Send("no-such-command");
  host.Send("click Нет>Такого");
  host.Send("answer maybe");
  host.Send("version");
  EXPECT_NE(host.WaitFor("version:"), "");
  EXPECT_EQ(host.Finish(), 0);  // end of input is quit
  EXPECT_NE(host.WaitFor("UnLoad: 0", std::chrono::milliseconds(1)), "");
  EXPECT_EQ(ReadFile(root / "cnf.INI"),
            "[Inet]\r\nOutPort=7100\r\nPhonebookEntry=\xCC\xEE\xE4\xE5\xEC\r\nInPort=0\r\n");
}

// The port "listening:" names, or 0.
int ListeningPort(HostProcess& host) {
  const std::string line = host.WaitFor("listening:");
  return line.size() > 11 && line != "listening: none" ? std::stoi(line.substr(11)) : 0;
}

// What a station's password line gets from the listener on port.
std::string PasswordAnswer(int port, const std::string& password) {
  platform::TcpConnection c = platform::TcpConnection::Connect(kLoopback, port, kWaitMs);
  c.SetReadTimeout(kWaitMs);
  RawLine(c);  // the greeting
  RawLine(c);  // the station's name
  RawWrite(c, password);
  return RawLine(c);
}

// Settings that cannot work are told on standard error in plain words, and
// Load says so; a password given as plain text lets nobody in rather than
// an empty line, until --password writes it in the form the plug-in reads.
TEST(HostProgram, SettingsThatCannotWorkAreWarnedOfAndPasswordsWrittenScrambled) {
  TempFolder root;
  // A port of its own (kept in cnf.INI for the second host): Wine's table of
  // connections names no owner, so "listening:" cannot tell it there.
  const int port = FreePort();
  {
    HostProcess host({"station", "--root", root.path(), "--set", "InPort=" + std::to_string(port),
                      "--set", "ReadTimeOut=10s", "--set", "PasswordEnable=1", "--set",
                      "Password=secret"});
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 1");
    EXPECT_NE(host.WaitFor("pumpwire-host: warning: cnf.INI: ReadTimeOut=10s is not a number"), "");
    EXPECT_NE(host.WaitFor("every password is refused (write it with --password)"), "");
    EXPECT_EQ(PasswordAnswer(port, "secret"), "PASS");
    EXPECT_EQ(PasswordAnswer(port, ""), "PASS");
    EXPECT_EQ(host.Finish(), 0);
  }
  {
    HostProcess host({"station", "--root", root.path(), "--set", "ReadTimeOut=10000", "--password",
                      "secret"});
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 0") << host.Transcript();
    EXPECT_EQ(PasswordAnswer(port, "secret"), "OK");
    EXPECT_EQ(PasswordAnswer(port, "Secret"), "PASS");
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_EQ(host.Transcript().find("warning"), std::string::npos) << host.Transcript();
  }
  {
    // A switch that is not a number is no switch off: nobody gets in.
    HostProcess host({"station", "--root", root.path(), "--set", "PasswordEnable=yes"});
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 1");
    EXPECT_NE(host.WaitFor("warning: cnf.INI: PasswordEnable=yes is neither 0 nor 1: every "
                           "password is refused"), "") << host.Transcript();
    EXPECT_EQ(PasswordAnswer(port, "secret"), "PASS");
    EXPECT_EQ(PasswordAnswer(port, "NOPASS"), "PASS");
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_EQ(host.Transcript().find("not a number"), std::string::npos) << host.Transcript();
  }
  {
    // A password with the check off is written and said to be unused.
    HostProcess host({"station", "--root", root.path(), "--set", "PasswordEnable=0", "--password",
                      "secret"});
    EXPECT_NE(host.WaitFor("warning: --password is written, but PasswordEnable is off"), "")
        << host.Transcript();
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
    EXPECT_EQ(host.Finish(), 0);
  }
}

// A misspelt key is refused before anything is written; one already in the
// file is told at Load and stays.
TEST(HostProgram, KeysNothingReadsAreRefusedOrWarnedOf) {
  TempFolder root;
  {
    HostProcess host({"station", "--root", root.path(), "--set", "InPrt=16193"});
    EXPECT_EQ(host.Finish(), 2);
    EXPECT_NE(host.Transcript().find("--set: 'InPrt' is not a key of section Inet"), std::string::npos)
        << host.Transcript();
    EXPECT_FALSE(std::filesystem::exists(root / "cnf.INI"));
  }
  WriteFile(root / "cnf.INI", "[Inet]\r\nInPrt=16193\r\ninport=0\r\n");
  HostProcess host({"station", "--root", root.path()});
  EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
  EXPECT_NE(host.WaitFor("log: Неизвестный ключ в настройках: InPrt=16193 - не используется"), "");
  EXPECT_NE(host.WaitFor("warning: cnf.INI: InPrt is not a key of section Inet"), "");
  EXPECT_EQ(host.Finish(), 0);
  EXPECT_EQ(host.Transcript().find("inport"), std::string::npos) << host.Transcript();
  EXPECT_EQ(ReadFile(root / "cnf.INI"), "[Inet]\r\nInPrt=16193\r\ninport=0\r\n");
}

// A port already taken: the listener's failure is a warning with the port,
// and nothing is listening.
TEST(HostProgram, AListenerThatCannotBindIsWarnedOf) {
  TempFolder root;
  platform::TcpListener taken(kLoopback, 0);
  HostProcess host({"office", "--root", root.path(), "--set",
                    "InPort=" + std::to_string(taken.Port())});
  EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
  const std::string warning = host.WaitFor("pumpwire-host: warning: the listener did not start: ");
  EXPECT_NE(warning.find(std::to_string(taken.Port())), std::string::npos) << host.Transcript();
  EXPECT_EQ(host.WaitFor("listening:"), "listening: none");
  EXPECT_EQ(host.Finish(), 3);  // the listener did not start
}

// A host run from a scheduler: "auto" runs the automatic exchange of the
// mode, the commands after it (the end of input among them) wait for its
// end, and the exit status tells whether a report went. A command of the
// other end is refused.
TEST(HostProgram, AutoRunsTheModesExchangeAndTheExitStatusTellsHowItWent) {
  TempFolder office_root, station_root;
  const int dead_port = FreePort();
  for (const TempFolder* root : {&office_root, &station_root})
    std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, *root / DialgateFile());
  platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", "Connect=1");
  std::filesystem::create_directories(Utf8Path(office_root / "host/requests"));
  WriteFile(office_root / "host/requests/АЗС 3", "request");
  // A port of our choosing: not every OS tells a program's listening ports.
  const int office_port = FreePort();
  HostProcess office({"office", "--root", office_root.path(), "--set",
                      "InPort=" + std::to_string(office_port), "--set", "OutPort=" + std::to_string(dead_port)});
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0") << office.Transcript();
  {
    HostProcess station({"station", "--root", station_root.path(), "--name", "АЗС 3", "--set", "InPort=0",
                         "--set", "OutPort=" + std::to_string(office_port)});
    station.Send("auto 127.0.0.1");
    EXPECT_NE(station.WaitFor("auto ADDRESS is a command of the office"), "") << station.Transcript();
    station.Send("stations");
    EXPECT_NE(station.WaitFor("stations is a command of the office, not of a station"), "");
    station.Send("type 127.0.0.1");
    station.Send("auto");
    station.Send("version");
    EXPECT_EQ(station.Finish(), 0) << station.Transcript();
    const auto& lines = station.lines();
    const auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    EXPECT_LT(at("log: Передача отчета произведена успешно!"), at("version: 1.02 от 11.11.2008"))
        << station.Transcript();
  }
  EXPECT_NE(office.WaitFor("host: ProcessReportFile"), "") << office.Transcript();
  {
    // Two offices, the second one out of reach (a documentation address):
    // one report did not go.
    HostProcess station({"station", "--root", station_root.path(), "--name", "АЗС 3", "--set", "InPort=0",
                         "--set", "OutPort=" + std::to_string(office_port), "--set", "ConnectTimeOut=1000"});
    station.Send("type 127.0.0.1; 192.0.2.1");
    station.Send("auto");
    EXPECT_EQ(station.Finish(), 4) << station.Transcript();
    EXPECT_NE(station.Transcript().find("log: Ошибка при подключении к офису"), std::string::npos)
        << station.Transcript();
  }
  office.Send("auto");
  EXPECT_NE(office.WaitFor("auto at the office takes the station's ADDRESS"), "");
  office.Send("auto 127.0.0.1");  // no station listens on its OutPort
  EXPECT_EQ(office.Finish(), 4) << office.Transcript();
  platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr);
}

// A station's exchange with an office that refuses the connection and with
// one that takes it but never greets (its read times out): each is told by
// its own line, and either way the exchange failed.
TEST(HostProgram, ARefusedAndASilentOfficeEachFailTheExchangeWithTheirOwnLine) {
  TempFolder root;
  std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, root / DialgateFile());
  platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", "Connect=1");
  const int refusing = FreePort();
  platform::TcpListener silent(kLoopback, 0);  // the system takes connections, nobody greets
  for (const int port : {refusing, silent.Port()}) {
    HostProcess station({"station", "--root", root.path(), "--name", "АЗС 3", "--set", "InPort=0", "--set",
                         "OutPort=" + std::to_string(port), "--set", "ReadTimeOut=300"});
    station.Send("type 127.0.0.1");
    station.Send("auto");
    EXPECT_EQ(station.Finish(), 4) << station.Transcript();
    const std::string transcript = station.Transcript();
    if (port == refusing) {
      EXPECT_NE(transcript.find("log: Ошибка при подключении к офису: connect 127.0.0.1:" + std::to_string(port)),
                std::string::npos)
          << transcript;
    } else {
      // Silence reads as an empty greeting, which no password answers.
      EXPECT_NE(transcript.find("log: Ошибка при подключении к офису: Не удалось подключиться к серверу: "
                                "Неправильный пароль или не настроена безопасность соединения"),
                std::string::npos)
          << transcript;
    }
  }
  platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr);
}

// The operator's Ctrl-C, or a service manager's SIGTERM: UnLoad runs, its
// lines and result come out, and the host exits 0 though its input is open,
// also when its parent started it with the stop signals blocked.
TEST(HostProgram, AStopRequestUnloadsAndExitsCleanly) {
  if (!HostProcess::CanRequestStop()) GTEST_SKIP() << "no stop request between processes here";
  TempFolder root;
  std::optional<platform::StopRequestsHeldBack> held_back(std::in_place);
  HostProcess host({"office", "--root", root.path(), "--set", "InPort=0"});
  held_back.reset();
  EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
  const int port = ListeningPort(host);
  ASSERT_GT(port, 0);
  host.RequestStop();
  EXPECT_NE(host.WaitFor("log: Сервер остановлен"), "") << host.Transcript();
  EXPECT_EQ(host.WaitFor("UnLoad:"), "UnLoad: 0");
  EXPECT_EQ(host.AwaitExit(), 0);
  EXPECT_EQ(host.signal(), 0);
  EXPECT_THROW(platform::TcpConnection::Connect(kLoopback, port, kWaitMs), Error);
}

TEST(HostProgram, HelpTellsTheCommandsAndAMissingRootIsAnError) {
  {
    HostProcess help({"--help"});
    EXPECT_EQ(help.Finish(), 0);
    const std::string text = help.Transcript();
    for (const char* word : {"--root", "--set", "--menu-item", "menu", "click", "answer", "choose [PATH]",
                             "message TEXT", "station NAME ADDRESS", "open: CAPTION -> PATH", "quit",
                             "auto ADDRESS", "Exit status:"})
      EXPECT_NE(text.find(word), std::string::npos) << word;
  }
  HostProcess bad({"station"});
  EXPECT_EQ(bad.Finish(), 2);
}

// Two notices in a row, as one write of a scripted office: the host prints
// each notice as the message window shows it, then its history line.
TEST(HostProgram, PrintsEveryNoticeOfTheMessageWindowAndEveryHistoryLine) {
  TempFolder root;
  const int port = FreePort();
  HostProcess host({"station", "--root", root.path(), "--name", "АЗС 3", "--set",
                    "InPort=" + std::to_string(port)});
  ASSERT_EQ(host.WaitFor("Load:"), "Load: 0");
  ASSERT_NE(host.WaitFor("log: Сервер входящих подключений запущен"), "") << host.Transcript();
  platform::TcpConnection office = platform::TcpConnection::Connect(kLoopback, port, kWaitMs);
  office.SetReadTimeout(kWaitMs);
  EXPECT_EQ(RawLine(office), "OK");
  EXPECT_EQ(RawLine(office), text::cp1251_from_utf8("АЗС 3"));
  RawWrite(office, "NOPASS");
  EXPECT_EQ(RawLine(office), "OK");
  office.Write(text::cp1251_from_utf8("SEND_TEXT\r\nПервое\rсообщение\r\nSEND_TEXT\r\nВторое\r\n"));
  EXPECT_NE(host.WaitFor("message: \"Получено сообщение из ОФиса!\" | Первое\\rсообщение"), "")
      << host.Transcript();
  EXPECT_NE(host.WaitFor("history: Принято : Первое\\rсообщение"), "") << host.Transcript();
  EXPECT_NE(host.WaitFor("message: \"Получено сообщение из ОФиса!\" | Второе"), "")
      << host.Transcript();
  EXPECT_NE(host.WaitFor("history: Принято : Второе"), "") << host.Transcript();
  office.Disconnect();
  EXPECT_EQ(host.Finish(), 0);
}

// The operator's side of the interactive sends, as an office host takes it
// from its commands: the chosen station, the typed text, the chosen file.
// The station's listener is played here.
TEST(HostProgram, TheOfficeSendsToTheChosenStationWhatItsCommandsQueue) {
  TempFolder root;
  platform::TcpListener station(kLoopback, 0);
  std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, root / DialgateFile());
  platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", "Connect=1");
  HostProcess host({"office", "--root", root.path(), "--set", "InPort=0", "--set",
                    "OutPort=" + std::to_string(station.Port())});
  platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr);
  ASSERT_EQ(host.WaitFor("Load:"), "Load: 0");
  // What one session brings, past the handshake, up to the office's close.
  const auto session = [&station] {
    std::optional<platform::TcpConnection> c = station.Accept(kWaitMs);
    if (!c) return std::string("no connection");
    c->SetReadTimeout(kWaitMs);
    c->Write("OK\r\n\xC0\xC7\xD1 7\r\n");  // "АЗС 7"
    RawLine(*c);                             // the password line
    c->Write("OK\r\n");
    std::string bytes;
    try {
      for (;;) bytes += static_cast<char>(c->ReadByte());
    } catch (const platform::ConnectionClosed&) {
    }
    return bytes;
  };
  const std::string file = root / "папка/отчёт.txt";
  std::filesystem::create_directories(Utf8Path(root / "папка"));
  WriteFile(file, "body");

  host.Send("station 127.0.0.1");  // no name
  EXPECT_NE(host.WaitFor("station takes NAME ADDRESS"), "");
  host.Send("station АЗС 7 127.0.0.1");
  host.Send("message два\\nслова");
  host.Send("click Связь>Интерактивный обмен>Отправить текстовое сообщение");
  EXPECT_EQ(session(), "SEND_TEXT\r\n\xE4\xE2\xE0\r\xF1\xEB\xEE\xE2\xE0\r\n");  // "два" CR "слова"
  host.Send("click Связь>Интерактивный обмен>Отправить файл");
  EXPECT_NE(host.WaitFor("open: Открыть -> cancel"), "");
  host.Send("choose " + file);
  host.Send("click Связь>Интерактивный обмен>Отправить файл");
  EXPECT_NE(host.WaitFor("open: Открыть -> " + file), "");
  EXPECT_EQ(session(), "SEND_FILE2\r\n4\r\n\xEE\xF2\xF7\xB8\xF2.txt\r\nbody111\r\n");  // "отчёт.txt"
  host.Send("quit");
  EXPECT_EQ(host.Finish(), 0);
  EXPECT_NE(host.Transcript().find("log: Отправка текста 127.0.0.1 " + std::to_string(station.Port())),
            std::string::npos)
      << host.Transcript();
}

// A log that cannot be written loses its lines and nothing else: Load and
// UnLoad still make and free every window, in both modes.
TEST(HostProgram, AnUnwritableLogCostsOnlyItsLines) {
  for (const char* mode : {"station", "office"}) {
    TempFolder root;
    std::filesystem::create_directories(root / "LogFiles/Pumpwire.log");  // a folder, not a file
    HostProcess host({mode, "--root", root.path(), "--set", "InPort=0"});
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 0") << mode;
    host.Send("windows");
    EXPECT_NE(host.WaitFor("window: TInteractiveForm"), "") << host.Transcript();
    host.Send("quit");
    EXPECT_EQ(host.WaitFor("UnLoad:"), "UnLoad: 0") << host.Transcript();
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(root / (std::string(mode) == "station" ? "FromOffice" : "FromAZS")));
  }
}

// A log line that cannot be written is no reason to drop a peer. With the
// log's path a folder, or the log on a full disk (/dev/full), each end
// serves a whole handshake and a command, and the host hears of it once: on
// standard error, and in the message window.
TEST(HostProgram, AnUnwritableLogDropsNoPeerAndIsToldOnce) {
  const std::string told = "pumpwire-host: Ошибка записи в журнал: ";
  for (const bool full_disk : {false, true}) {
    if (full_disk && !std::filesystem::exists("/dev/full")) continue;
    for (const std::string mode : {"station", "office"}) {
      SCOPED_TRACE(mode + (full_disk ? ", full disk" : ", a folder for the log"));
      TempFolder root;
      const std::filesystem::path log = Utf8Path(root / "LogFiles/Pumpwire.log");
      std::filesystem::create_directories(full_disk ? log.parent_path() : log);
      if (full_disk) std::filesystem::create_symlink("/dev/full", log);
      const int port = FreePort();
      HostProcess host({mode, "--root", root.path(), "--name", "АЗС 3", "--set",
                        "InPort=" + std::to_string(port)});
      ASSERT_EQ(host.WaitFor("Load:"), "Load: 0") << host.Transcript();
      platform::TcpConnection c = platform::TcpConnection::Connect(kLoopback, port, kWaitMs);
      c.SetReadTimeout(kWaitMs);
      EXPECT_EQ(RawLine(c), "OK");
      if (mode == "station") {
        EXPECT_EQ(RawLine(c), text::cp1251_from_utf8("АЗС 3"));
        RawWrite(c, "NOPASS");
        EXPECT_EQ(RawLine(c), "OK");
        RawWrite(c, "SEND_TEXT");
        RawWrite(c, text::cp1251_from_utf8("смена закрыта"));
        EXPECT_NE(host.WaitFor("| смена закрыта"), "") << host.Transcript();
      } else {
        RawWrite(c, text::cp1251_from_utf8("АЗС 3"));
        RawWrite(c, "NOPASS");
        EXPECT_EQ(RawLine(c), "OK");
        RawWrite(c, "TRY_GET_ZAPROS");
        EXPECT_EQ(RawLine(c), "No_zapros");
      }
      c.Disconnect();
      host.Send("quit");
      EXPECT_EQ(host.Finish(), 0) << host.Transcript();
      const auto& lines = host.lines();
      EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                              [&](const std::string& l) { return l.starts_with(told); }),
                1)
          << host.Transcript();
      EXPECT_NE(host.Transcript().find("message: \"Ошибка записи в журнал\""), std::string::npos)
          << host.Transcript();
    }
  }
}

// A reception cut short by the death of its process leaves its temporary
// beside the target, for good: the next Load clears those of the folders
// where received files land, and nothing else.
TEST(HostProgram, LoadClearsTheTemporariesThatKilledReceptionsLeft) {
  for (const std::string mode : {"station", "office"}) {
    SCOPED_TRACE(mode);
    TempFolder root;
    const std::string incoming = root / (mode == "station" ? "FromOffice/" : "FromAZS/");
    std::filesystem::create_directories(Utf8Path(incoming));
    std::filesystem::create_directories(Utf8Path(root / "OFFICE"));
    WriteFile(incoming + "~pw4242.7.tmp", std::string(1 << 20, 'x'));  // as main names them
    WriteFile(incoming + "~pw0123456789abcdef.tmp", "half");
    WriteFile(root / "OFFICE/~pw77.3.tmp", "half");
    WriteFile(incoming + "report.tmp", "kept");
    WriteFile(incoming + "~pw-notes.txt", "kept");
    HostProcess host({mode, "--root", root.path(), "--set", "InPort=0"});
    EXPECT_EQ(host.WaitFor("Load:"), "Load: 0");
    host.Send("quit");
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_NE(host.Transcript().find("log: Удалено временных файлов прерванного приема: 2 (" +
                                     incoming + ")"),
              std::string::npos)
        << host.Transcript();
    EXPECT_NE(host.Transcript().find("log: Удалено временных файлов прерванного приема: 1 (" +
                                     (root / "OFFICE/") + ")"),
              std::string::npos)
        << host.Transcript();
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(Utf8Path(incoming)))
      left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"report.tmp", "~pw-notes.txt"}));
    EXPECT_TRUE(std::filesystem::is_empty(Utf8Path(root / "OFFICE")));
  }
}

}  // namespace
}  // namespace pw::test
