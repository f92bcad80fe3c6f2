// The sending side of the interactive commands at both ends, from the menu
// click to the bytes on the wire: "SEND_MYIP", "SEND_TEXT" and "SEND_FILE2"
// against a listener the test plays by hand on loopback, with the log and
// history lines each leaves, an unreachable peer, and the refusals (a text
// no receiver could read, a file too large to announce).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "digest_line.h"
#include "fake_dial_up.h"
#include "host/folder_host.h"
#include "interactive/message_history.h"
#include "interactive/text_input_form.h"
#include "office/inet_office_form.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "protocol/session.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/menu_proc.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "wire_bytes.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using platform::TcpConnection;
using platform::TcpListener;
using test::kWaitMs;

constexpr const char* kHost = test::kLoopback;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

// One line as it came, CR LF included.
std::string RawLineWithEnd(TcpConnection& c) {
  std::string line;
  char ch = 0;
  while (ch != '\n') line += ch = static_cast<char>(c.ReadByte());
  return line;
}

// What the connector sent after the handshake, up to its close.
std::string ReadToClose(TcpConnection& c) {
  std::string bytes;
  char piece[65536];
  try {
    for (;;) bytes.append(piece, c.ReadSome(piece, sizeof piece));
  } catch (const platform::ConnectionClosed&) {
  }
  return bytes;
}

// What a listener heard of one session: the connector's handshake lines and
// every byte after them.
struct Heard {
  std::string handshake;
  std::string command;
};

class InteractiveSendTest : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    TheSettings().ReadTimeOut = kWaitMs;
    TheSettings().ConnectTimeOut = kWaitMs;
    TheSettings().OutPort = listener.Port();
    platform::CreateDirectories(CurrentFolders().log_files);
    State().host.emplace(&host);
    ui::Operator& op = ui::Operator::instance();
    op.SetObserver([this](const std::string& caption, const std::string& text, ui::Answer) {
      boxes.push_back(caption + "|" + text);
    });
    op.SetOpenObserver([this](const std::string& caption, const std::optional<std::string>& path) {
      opened.push_back(caption + " -> " + path.value_or("cancel"));
    });
  }
  void TearDown() override {
    EXPECT_TRUE(State().workers.StopAll(20s));
    State().station_window.reset();
    State().office_window.reset();
    State().text_input.reset();
  }

  // The plug-in's windows of the mode, as Load makes them; the target is
  // the loopback listener of the test.
  void Become(std::uint8_t mode) {
    State().mode = mode;
    State().text_input = std::make_unique<interactive::TTextInputForm>();
    if (mode == kStationMode) {
      State().station_window = std::make_unique<station::TInetForm>(State());
      State().station_window->cb_IP.caption = kHost;
    } else {
      State().office_window = std::make_unique<office::TInetOfficeForm>(State());
      host.SetCurrentStation({7, W("АЗС 7"_w), kHost});
    }
  }

  // The listener's side, played on a thread of its own: the greeting (and
  // the name, when the test plays a station), the password check, then all
  // the connector sends until it closes.
  std::future<Heard> Listen() {
    const bool station_listens = State().is_office();
    return std::async(std::launch::async, [this, station_listens] {
      Heard heard;
      std::optional<TcpConnection> c = listener.Accept(kWaitMs);
      if (!c) return heard;
      c->SetReadTimeout(kWaitMs);
      c->Write(station_listens ? "OK\r\n" + W("АЗС 7"_w) + "\r\n" : std::string("OK\r\n"));
      if (!station_listens) heard.handshake = RawLineWithEnd(*c);  // the station's name
      heard.handshake += RawLineWithEnd(*c);                         // the password line
      c->Write("OK\r\n");
      heard.command = ReadToClose(*c);
      return heard;
    });
  }

  // Main thread: pumps until the file sender's thread has ended (its
  // window lines wait for the main thread), then what the listener heard.
  Heard HeardBySendersEnd(std::future<Heard>& heard) {
    EXPECT_TRUE(ui::Dispatcher::instance().run_until(
        [] { return State().workers.Running() == 0; }, 20s));
    return heard.get();
  }

  // The event log's lines without their time stamps.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string file = test::ReadFile(CurrentFolders().log_file);
    for (std::size_t from = 0; from < file.size();) {
      const std::size_t end = file.find("\r\n", from);
      lines.push_back(file.substr(from + 27, end - from - 27));  // stamp + " - "
      from = end + 2;
    }
    return lines;
  }
  // The lines the connection window of the mode shows, without stamps.
  std::vector<std::string> WindowLines() const {
    const ui::ListBox& log =
        State().is_station() ? State().station_window->log : State().office_window->log;
    std::vector<std::string> lines;
    for (const std::string& item : log.items) lines.push_back(item.substr(10));
    return lines;
  }

  std::string Port() const { return std::to_string(listener.Port()); }
  std::string StationHandshake() const { return W("АЗС 3\r\nNOPASS\r\n"_w); }

  // The session lines of a station connector and of an office connector.
  std::vector<std::string> Opened() const {
    if (State().is_station())
      return {W("Соединение с интернет..."_w), W("Исходящее подключение к офису: 127.0.0.1("_w) + Port() + ")",
              W("Исходящее подключение установленно"_w)};
    return {W("Соединение с интернет..."_w), W("Идет подключение к АЗС..."_w),
            W("Исходящее подключение установленно. АЗС: АЗС 7"_w)};
  }
  std::string Closed() const {
    return State().is_station() ? W("Исходящее подключение разорвано"_w)
                                : W("Разорвано исходящее соединение с АЗС"_w);
  }
  std::vector<std::string> Expected(std::string first, std::vector<std::string> more) const {
    std::vector<std::string> lines{std::move(first)};
    for (std::string& l : Opened()) lines.push_back(std::move(l));
    for (std::string& l : more) lines.push_back(std::move(l));
    return lines;
  }

  test::TempFolder root;
  test::ScopedLanConnection lan;
  TcpListener listener{kHost, 0};
  host::FolderHost host{root / "host/", W("АЗС 3"_w), 4, [](const std::string&) {}};
  CMenuProc menu;
  std::vector<std::string> boxes;
  std::vector<std::string> opened;
};

class BothEnds : public InteractiveSendTest, public ::testing::WithParamInterface<std::uint8_t> {
 protected:
  void SetUp() override {
    InteractiveSendTest::SetUp();
    Become(GetParam());
  }
  std::string Handshake() const { return State().is_station() ? StationHandshake() : "NOPASS\r\n"; }
};

std::string EndName(const ::testing::TestParamInfo<std::uint8_t>& info) {
  return info.param == kStationMode ? "Station" : "Office";
}

TEST_P(BothEnds, SendMyIPIsOneLineAndTheSessionCloses) {
  std::future<Heard> heard = Listen();
  menu.SendMyIPClick();
  const Heard h = heard.get();
  EXPECT_EQ(h.handshake, Handshake());
  EXPECT_EQ(h.command, "SEND_MYIP\r\n");
  EXPECT_EQ(LogLines(), Expected(W("Отправка своего IP адреса 127.0.0.1 "_w) + Port(), {Closed()}));
  // The command's own line goes to the file only.
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(WindowLines(), std::vector<std::string>(lines.begin() + 1, lines.end()));
}

TEST_P(BothEnds, ATextOfSeveralLinesTravelsAsOneLineWithLoneCRs) {
  ui::Operator::instance().QueueText(W("Привет,\r\nофис\r\n\r\n100%"_w));
  std::future<Heard> heard = Listen();
  menu.SendTextMessageClick();
  const Heard h = heard.get();
  const std::string text = W("Привет,\rофис\r\r100%"_w);
  EXPECT_EQ(h.handshake, Handshake());
  EXPECT_EQ(h.command, "SEND_TEXT\r\n" + text + "\r\n");
  EXPECT_EQ(LogLines(), Expected(W("Отправка текста 127.0.0.1 "_w) + Port(), {Closed()}));
  const std::string history = interactive::ReadHistory();
  EXPECT_EQ(history.substr(23), W("  - Отправлено: "_w) + text + "\r\n");
}

TEST_P(BothEnds, TheFileGoesAsOneBlockUnderItsBareNameThenTheEndMark) {
  platform::CreateDirectories(root.path() + W("папка"_w));
  const std::string path = root.path() + W("папка/отчёт за май.bin"_w);
  const std::string body = test::Pattern(300000);
  test::WriteFile(root / "папка/отчёт за май.bin", body);
  ui::Operator::instance().QueueChosenFile(path);
  std::future<Heard> heard = Listen();
  menu.SendFileClick();
  EXPECT_EQ(opened, std::vector<std::string>{W("Открыть -> "_w) + path});
  const Heard h = HeardBySendersEnd(heard);
  EXPECT_EQ(h.handshake, Handshake());
  EXPECT_TRUE(h.command == W("SEND_FILE2\r\n300000\r\nотчёт за май.bin\r\n"_w) + body + "111\r\n");
  EXPECT_EQ(h.command.size(), 300000 + W("SEND_FILE2\r\n300000\r\nотчёт за май.bin\r\n111\r\n"_w).size());
  // The one line about the end is the digest; the client's release closes the session.
  EXPECT_EQ(LogLines(), Expected(W("Отправка файла 127.0.0.1 "_w) + Port(), {test::DigestLine(body, path)}));
}

TEST_P(BothEnds, AnUnreachablePeerLeavesItsLinesAndNoHistoryLine) {
  const int nobody = test::FreePort();
  TheSettings().OutPort = nobody;
  ui::Operator::instance().QueueText("hello");
  menu.SendTextMessageClick();
  menu.SendMyIPClick();
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);  // four of each command
  const std::string port = std::to_string(nobody);
  EXPECT_EQ(lines[0], W("Отправка текста 127.0.0.1 "_w) + port);
  EXPECT_EQ(lines[4], W("Отправка своего IP адреса 127.0.0.1 "_w) + port);
  for (std::size_t first : {std::size_t{0}, std::size_t{4}}) {
    EXPECT_EQ(lines[first + 1], W("Соединение с интернет..."_w));
    if (State().is_station()) {
      EXPECT_EQ(lines[first + 2], W("Исходящее подключение к офису: 127.0.0.1("_w) + port + ")");
      EXPECT_EQ(lines[first + 3].rfind(W("Ошибка при подключении к офису: "_w), 0), 0u) << lines[first + 3];
    } else {
      EXPECT_EQ(lines[first + 2], W("Идет подключение к АЗС..."_w));
      EXPECT_EQ(lines[first + 3].rfind(W("Ошибка при подключении к АЗС: "_w), 0), 0u) << lines[first + 3];
    }
  }
  EXPECT_EQ(interactive::ReadHistory(), "");
}

INSTANTIATE_TEST_SUITE_P(Ends, BothEnds, ::testing::Values(kStationMode, kOfficeMode), EndName);

TEST_F(InteractiveSendTest, AnEmptyFileSendsItsSizeZeroNameAndEndMarkOnly) {
  Become(kStationMode);
  test::WriteFile(root / "empty.txt", "");
  ui::Operator::instance().QueueChosenFile(root / "empty.txt");
  std::future<Heard> heard = Listen();
  menu.SendFileClick();
  const Heard h = HeardBySendersEnd(heard);
  EXPECT_EQ(h.command, "SEND_FILE2\r\n0\r\nempty.txt\r\n111\r\n");
}

TEST_F(InteractiveSendTest, APromptCancelledOrEmptySendsNothingAndWritesNoHistory) {
  Become(kOfficeMode);
  ui::Operator& op = ui::Operator::instance();
  op.QueueText("not sent");
  op.QueueAnswer(ui::Answer::Cancel);
  menu.SendTextMessageClick();
  op.QueueText("");
  menu.SendTextMessageClick();
  EXPECT_EQ(test::ReadFile(CurrentFolders().log_file), "");
  EXPECT_EQ(interactive::ReadHistory(), "");
  EXPECT_FALSE(listener.Accept(0).has_value());
}

TEST_F(InteractiveSendTest, ATextTooLongForAReceiversLineIsRefusedAtThePrompt) {
  Become(kStationMode);
  ui::Operator& op = ui::Operator::instance();
  const std::size_t longest = interactive::TTextInputForm::kMaxMessageBytes;
  op.QueueText(std::string(longest + 1, 'x'));
  menu.SendTextMessageClick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], W("Подготовка текстового сообщения для отправки|Сообщение слишком длинное: 16384 байт. "
                        "Отправить можно не больше 16383 байт. Сократите текст."_w));
  EXPECT_EQ(test::ReadFile(CurrentFolders().log_file), "");
  EXPECT_FALSE(listener.Accept(0).has_value());
  // The text stays in the box to be shortened.
  EXPECT_EQ(State().text_input->Text().size(), longest + 1);

  // The longest text that goes out is read whole by a receiver's session.
  auto received = std::async(std::launch::async, [this] {
    std::optional<TcpConnection> c = listener.Accept(kWaitMs);
    if (!c) return std::string("no connection");
    c->SetReadTimeout(kWaitMs);
    c->Write("OK\r\n");
    RawLineWithEnd(*c);
    RawLineWithEnd(*c);
    c->Write("OK\r\n");
    protocol::Session session(*c);
    const std::string word = session.ReadLine();
    return word + "|" + std::to_string(session.ReadLine().size());
  });
  op.QueueText(std::string(longest, 'y'));
  menu.SendTextMessageClick();
  EXPECT_EQ(received.get(), "SEND_TEXT|" + std::to_string(longest));
}

TEST_F(InteractiveSendTest, AFileOf2GiBIsRefusedBeforeAnyConnection) {
  Become(kOfficeMode);
  const std::string path = root / "big.bin";
  test::WriteFile(path, "");
  std::filesystem::resize_file(test::Utf8Path(path), std::uintmax_t{1} << 31);  // sparse
  ui::Operator::instance().QueueChosenFile(path);
  menu.SendFileClick();
  EXPECT_EQ(State().workers.Running(), 0u);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            W("Отправка файла 127.0.0.1 "_w) + Port(),
                            W("Файл не отправлен: "_w) + path +
                                W(" (2147483648 байт) больше 2147483647 байт, которые может принять получатель"_w)}));
  EXPECT_FALSE(listener.Accept(0).has_value());
}

TEST_F(InteractiveSendTest, ACancelledDialogSendsNothingAndAVanishedFileEndsWithTheErrorLine) {
  Become(kStationMode);
  menu.SendFileClick();  // nothing chosen
  EXPECT_EQ(opened, std::vector<std::string>{W("Открыть -> cancel"_w)});
  EXPECT_EQ(test::ReadFile(CurrentFolders().log_file), "");

  // Chosen, then gone before the thread opens it: the session opens, nothing
  // is announced.
  ui::Operator::instance().QueueChosenFile(root / "gone.txt");
  std::future<Heard> heard = Listen();
  menu.SendFileClick();
  const Heard h = HeardBySendersEnd(heard);
  EXPECT_EQ(h.command, "");
  const std::vector<std::string> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind(W("Ошибка обмена информацией : "_w), 0), 0u) << lines.back();
}

TEST_F(InteractiveSendTest, UnloadEndsASendThatThePeerDoesNotRead) {
  Become(kStationMode);
  test::WriteFile(root / "large.bin", test::Pattern(64 << 20));
  ui::Operator::instance().QueueChosenFile(root / "large.bin");
  // A listener that opens the session and then reads nothing.
  std::promise<void> done;
  auto peer = std::async(std::launch::async, [this, finished = done.get_future()] {
    std::optional<TcpConnection> c = listener.Accept(kWaitMs);
    if (!c) return;
    c->SetReadTimeout(kWaitMs);
    c->Write("OK\r\n");
    RawLineWithEnd(*c);
    RawLineWithEnd(*c);
    c->Write("OK\r\n");
    finished.wait_for(20s);
  });
  menu.SendFileClick();
  ASSERT_TRUE(ui::Dispatcher::instance().run_until(
      [this] {
        for (const std::string& l : WindowLines())
          if (l == W("Исходящее подключение установленно"_w)) return true;
        return false;
      },
      20s));
  EXPECT_TRUE(State().workers.StopAll(20s));
  done.set_value();
  peer.get();
  EXPECT_EQ(LogLines().back().rfind(W("Ошибка обмена информацией : "_w), 0), 0u) << LogLines().back();
}

}  // namespace
}  // namespace pw
