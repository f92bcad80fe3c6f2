// The receiving side of the interactive commands over real sockets on
// loopback: a scripted peer plays the sender of "SEND_MYIP", "SEND_TEXT" and
// "SEND_FILE2" against the real station and office listeners, wired to a
// real message window as the plug-in wires them. Checked byte for byte: what
// the listener sends back (nothing, then its close), the stored files, the
// notices, the history and the log lines. The test thread is the main
// thread and pumps while a peer runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/folder_host.h"
#include "interactive/interactive_form.h"
#include "main_thread_pump.h"
#include "office/inet_office_form.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "window_log.h"
#include "wire_bytes.h"
#include "sync/mutex.h"

namespace pw {
namespace {

using platform::TcpConnection;
using test::kWaitMs;
using test::RawLine;
using test::RawWrite;
using test::Answered;
using namespace std::chrono_literals;
using namespace std::string_literals;

constexpr auto kPumpLimit = 20s;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

// Everything the listener still sends until it closes the connection.
std::string RestUntilClose(TcpConnection& c) {
  std::string rest;
  try {
    for (;;) rest += static_cast<char>(c.ReadByte());
  } catch (const std::exception&) {
    // Closed (gracefully or by a reset after unread bytes).
  }
  return rest;
}

// "SEND_FILE2", the size line, the name line, the body and "111", as one write.
std::string FileCommand(const std::string& size_line, const std::string& name,
                        const std::string& body) {
  return "SEND_FILE2\r\n" + size_line + "\r\n" + name + "\r\n" + body + "111\r\n";
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (!platform::DirectoryExists(folder)) return names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The operator's Stop in the progress window, pressed once the first step
// is in.
struct StopAfterFirstStep : protocol::TransferProgress {
  bool stop = false;
  void Step(std::int32_t packets_done) override { stop = stop || packets_done >= 2; }
  bool StopRequested() const override { return stop; }
  bool TakeStop() override { return std::exchange(stop, false); }
};
protocol::ProgressFactory StoppedByTheOperator() {
  return [](const std::string&, std::int32_t, std::int32_t) {
    return std::make_unique<StopAfterFirstStep>();
  };
}

struct Box {
  std::string caption, text;
  ui::Answer answer;
};

// The parts both ends share: the temporary tree, the host, the message
// window, the boxes the operator saw.
class ReceiveTest : public test::ProcessStateTest {
 protected:
  void StartEnd(std::uint8_t mode) {
    TheSettings().InPort = 0;
    platform::CreateDirectories(CurrentFolders().log_files);
    State().mode = mode;
    State().host.emplace(&host);
    ui::Operator::instance().SetObserver(
        [this](const std::string& caption, const std::string& text, ui::Answer answer) {
          boxes.push_back({caption, text, answer});
        });
    messages = std::make_unique<interactive::TInteractiveForm>(State());
  }

  template <class Fn>
  auto OnWorker(Fn fn) {
    return test::OnWorker(std::move(fn), kPumpLimit);
  }
  // Pumps until the message window shows body.
  bool WaitForNotice(const std::string& body) {
    return ui::Dispatcher::instance().run_until(
        [&] { return messages->visible && messages->Body == body; }, kPumpLimit);
  }
  // The history's records without their time stamps. A file notice's text
  // holds CR LF itself: a record runs on to the next stamped line.
  std::vector<std::string> HistoryLines() const {
    constexpr std::size_t kStamp = 27;  // "dd.mm.yyyy hh:nn:ss:zzz " + " - "
    std::vector<std::string> records;
    const std::string text = test::ReadFile(CurrentFolders().history_file);
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      const std::string line = text.substr(start, end - start);
      if (line.size() >= kStamp && line.compare(23, 4, "  - ") == 0)
        records.push_back(line.substr(kStamp));
      else if (!records.empty())
        records.back() += "\r\n" + line;
    }
    return records;
  }
  std::vector<std::string> HostCalls() {
    MutexLock lock(mu);
    return host_calls;
  }

  test::TempFolder root;
  Mutex mu;
  std::vector<std::string> host_calls GUARDED_BY(mu);
  host::FolderHost host{root.path() + "host/", W("АЗС 3"_w), 4, [this](const std::string& line) {
                          MutexLock lock(mu);
                          host_calls.push_back(line);
                        }};
  std::vector<Box> boxes;  // main thread
  std::unique_ptr<interactive::TInteractiveForm> messages;
};

// ---- station ----

class StationReceiveTest : public ReceiveTest {
 protected:
  void SetUp() override {
    StartEnd(kStationMode);
    State().remembered_addresses = {"10.0.0.1", "10.0.0.2"};
    form = std::make_unique<station::TInetForm>(State());
    form->local_addresses = [] { return std::vector<std::string>{test::kLoopback}; };
    form->InstallInteractiveCommands(*messages);
    form->RunServer();
    folder = CurrentFolders().from_office;
    platform::CreateDirectories(folder);  // as Load makes it
  }
  void TearDown() override {
    form.reset();  // the listener first: its connections use the message window
    messages.reset();
  }

  // An office past the station's greeting, name and password answer.
  TcpConnection Office() const {
    TcpConnection c = TcpConnection::Connect(test::kLoopback, form->IdTCPServer1.Port(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), TheSettings().useFastDatTravel ? "OKF" : "OK");
    EXPECT_EQ(RawLine(c), W("АЗС 3"_w));
    RawWrite(c, "NOPASS");
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  }
  // Sends bytes after the handshake and returns what came back until the
  // station closed.
  std::string Exchange(const std::string& bytes) {
    return OnWorker([&] {
      TcpConnection c = Office();
      c.Write(bytes);
      return RestUntilClose(c);
    });
  }
  // Sends bytes after the handshake, returns what came back meanwhile, and
  // closes, as the office does after "SEND_MYIP" and "SEND_TEXT".
  std::string SendAndClose(const std::string& bytes) {
    return OnWorker([&] {
      TcpConnection c = Office();
      c.Write(bytes);
      return Answered(c);
    });
  }
  // Pumps until `times` connections have ended.
  bool WaitForEnds(int times) {
    return test::WaitForLine(form->log, W("Входящее подключение разорванно, IP: 127.0.0.1"_w),
                             times, kPumpLimit);
  }
  std::vector<std::string> Lines() const { return test::LogLines(form->log); }
  int Count(std::string_view line) const { return test::CountLine(form->log, line); }

  std::unique_ptr<station::TInetForm> form;
  std::string folder;  // FromOffice
};

TEST_F(StationReceiveTest, AMultiLineTextIsShownAndRecordedWithItsLoneCarriageReturns) {
  const std::string text = W("Первая строка\rвторая\r\rконец %s %d"_w);
  OnWorker([&] {
    TcpConnection c = Office();
    RawWrite(c, "SEND_TEXT");
    RawWrite(c, text);
    RawWrite(c, "SEND_TEXT");  // the same connection goes on
    RawWrite(c, "ok");
    EXPECT_FALSE(c.WaitReadable(200));  // nothing is sent back
  });
  ASSERT_TRUE(WaitForEnds(1));
  ASSERT_TRUE(WaitForNotice("ok"));
  EXPECT_EQ(messages->caption, W("Получено сообщение из ОФиса!"_w));
  EXPECT_EQ(messages->Label1.caption, "ok");
  // The history keeps the text's CRs, as the sender's history does.
  EXPECT_EQ(HistoryLines(), (std::vector<std::string>{W("Принято : Первая строка\rвторая\r\rконец %s %d"_w),
                                                      W("Принято : ok"_w)}));
}

TEST_F(StationReceiveTest, TheOfficeAddressIsAdoptedOnYesAndNoChangesNothing) {
  const std::string question = W("Офис запрашивает синхронизацию IP адреса!\rНовый IP адрес: "
                                 "127.0.0.1\rУстановить новый IP для соединения с офисом?"_w);
  form->cb_IP.caption = "10.0.0.1";
  ui::Operator::instance().QueueAnswer(ui::Answer::No);
  EXPECT_EQ(SendAndClose("SEND_MYIP\r\n"), "");  // no reply; the office closes
  ASSERT_TRUE(WaitForEnds(1));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, W("Запрос с Офиса!"_w));
  EXPECT_EQ(boxes[0].text, question);
  EXPECT_EQ(form->cb_IP.caption, "10.0.0.1");
  EXPECT_EQ(State().remembered_addresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));

  ui::Operator::instance().QueueAnswer(ui::Answer::Yes);
  EXPECT_EQ(SendAndClose("SEND_MYIP\r\n"), "");
  ASSERT_TRUE(WaitForEnds(2));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].answer, ui::Answer::Yes);
  EXPECT_EQ(form->cb_IP.caption, "127.0.0.1");
  EXPECT_EQ(State().remembered_addresses,
            (std::vector<std::string>{"127.0.0.1", "10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(form->cb_IP.items.front(), "127.0.0.1");
}

TEST_F(StationReceiveTest, FilesAreStoredWholeWithoutAcknowledgementsInEitherModeAndTheStationCloses) {
  struct Case {
    bool fast;
    std::int32_t packet;
    std::size_t size;
  };
  int ends = 0;
  for (const Case& k : {Case{false, 128, 0}, Case{false, 128, 300}, Case{false, 128, 256},
                        Case{true, 256000, 600000}}) {
    SCOPED_TRACE(std::to_string(k.packet) + " " + std::to_string(k.size));
    TheSettings().useFastDatTravel = k.fast;
    TheSettings().InetBuffSize = k.packet;
    const std::string body = test::Pattern(k.size);
    // Not one byte comes back: no acknowledgement, whatever the mode.
    EXPECT_EQ(Exchange(FileCommand(std::to_string(k.size), "report.dat", body)), "");
    ASSERT_TRUE(WaitForEnds(++ends));
    EXPECT_EQ(test::ReadFile(folder + "report.dat"), body);  // the older file replaced
    const std::string path = folder + "report.dat";
    EXPECT_EQ(Count(W("Прием файла : "_w) + path + " " + std::to_string(k.size) + W(" байт"_w)), 1);
    ASSERT_TRUE(WaitForNotice(W("Принят файл из Офиса\r\n"_w) + path + W("\r\nРазмер: "_w) +
                              std::to_string(k.size) + W(" байт"_w)));
    EXPECT_EQ(messages->caption, W("Принят файл из Офиса"_w));
  }
  EXPECT_EQ(Count(W("Файл успешно принят (контрольная сумма верная)"_w)), 4);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"report.dat"});  // no temporary left
  EXPECT_EQ(HistoryLines().size(), 4u);
  EXPECT_EQ(HistoryLines().front(), W("Принято : Принят файл из Офиса\r\n"_w) + folder +
                                        W("report.dat\r\nРазмер: 0 байт"_w));
}

TEST_F(StationReceiveTest, ACutFileStoresNothingAndKeepsTheOlderFile) {
  test::WriteFile(folder + "keep.txt", "older");
  const std::string body = test::Pattern(300);
  OnWorker([&] {
    TcpConnection c = Office();
    c.Write("SEND_FILE2\r\n1000\r\nkeep.txt\r\n" + body);
    c.Disconnect();  // 700 bytes and the end mark never come
  });
  ASSERT_TRUE(WaitForEnds(1));
  EXPECT_EQ(test::ReadFile(folder + "keep.txt"), "older");
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(Count(W("Ошибка при приеме файла: Connection Closed Gracefully."_w)), 1);
  EXPECT_EQ(Count(W("Файл успешно принят (контрольная сумма верная)"_w)), 0);
  EXPECT_FALSE(messages->visible);
}

TEST_F(StationReceiveTest, AReceptionTheOperatorStopsEndsInTheMismatchLineAndNoFile) {
  station::OfficeMessages m = form->MessagesSetup(*messages);
  m.progress = StoppedByTheOperator();
  form->IdTCPServer1.SetHandler("SEND_FILE2", [m](protocol::Session& s) { ServeOfficeFile(s, m); });
  EXPECT_EQ(Exchange(FileCommand("300", "stopped.txt", test::Pattern(300))), "");
  ASSERT_TRUE(WaitForEnds(1));
  EXPECT_EQ(Count(W("Файл принят (контрольная сумма НЕ верная (128<>300)"_w)), 1);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{});
  EXPECT_FALSE(messages->visible);
}

TEST_F(StationReceiveTest, NamesThatClimbOutAreReducedToAPlainNameOrRefused) {
  struct Case {
    std::string line;
    std::string stored;  // "" = refused
    std::string logged = {};  // the line as the log shows it, when not as sent
  };
  const std::vector<Case> cases = {
      {"..\\..\\evil.txt", "evil.txt"},
      {"../../etc/passwd", "passwd"},
      {"C:\\Windows\\win.ini", "win.ini"},
      {"\\\\server\\share\\unc.txt", "unc.txt"},
      {"C:drive.txt", "C_drive.txt"},
      {std::string("a\x01:b?.txt"), "a__b_.txt", "a\\x01:b?.txt"},
      {"x\ry\x00.txt"s, "x_y_.txt", "x\\x0Dy\\x00.txt"},
      {"..", ""},
      {"..\\", ""},
      {"NUL.txt", ""},
      {"com1", ""},
      {"", ""},
  };
  int ends = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    EXPECT_EQ(Exchange(FileCommand("3", k.line, "abc")), "");
    ASSERT_TRUE(WaitForEnds(++ends));
    const std::string& logged = k.logged.empty() ? k.line : k.logged;
    if (k.stored.empty()) {
      EXPECT_EQ(Count(W("Недопустимое имя файла, файл не принят: "_w) + logged), 1);
    } else {
      EXPECT_EQ(test::ReadFile(folder + k.stored), "abc");
      EXPECT_EQ(Count(W("Недопустимое имя файла "_w) + logged + W(" заменено на "_w) + k.stored), 1);
    }
  }
  EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"C_drive.txt", "a__b_.txt", "evil.txt",
                                                       "passwd", "unc.txt", "win.ini", "x_y_.txt"}));
  // Nothing beside the folder or above it.
  for (const auto& e : std::filesystem::recursive_directory_iterator(root.path())) {
    const std::string name = e.path().filename().string();
    if (name == "evil.txt" || name == "passwd" || name == "win.ini" || name == "unc.txt") {
      EXPECT_EQ(e.path().parent_path(), std::filesystem::path(folder).parent_path()) << e.path();
    }
  }
  EXPECT_EQ(Count(W("Файл успешно принят (контрольная сумма верная)"_w)), 7);
}

// A peer that names its file after the temporary of a reception under way
// would have that file renamed over the temporary, and the other
// reception's target would then get the peer's bytes, logged as a success.
TEST_F(StationReceiveTest, AFileNamedLikeAnotherReceptionsTemporaryIsRefused) {
  const std::string body = test::Pattern(100);
  std::string temporary;
  OnWorker([&] {
    TcpConnection first = Office();
    first.Write("SEND_FILE2\r\n100\r\nvictim.dat\r\n" + body.substr(0, 50));
    // The file system tells no one when the temporary is made: looked for.
    const auto until = std::chrono::steady_clock::now() + kPumpLimit;
    while (temporary.empty() && std::chrono::steady_clock::now() < until) {
      for (const std::string& name : FilesIn(folder)) temporary = name;
      if (temporary.empty()) std::this_thread::sleep_for(2ms);
    }
    ASSERT_FALSE(temporary.empty());
    TcpConnection second = Office();
    second.Write(FileCommand("40", temporary, std::string(40, 'X')));
    RestUntilClose(second);
    first.Write(body.substr(50) + "111\r\n");
    RestUntilClose(first);
  });
  ASSERT_TRUE(WaitForEnds(2));
  EXPECT_EQ(test::ReadFile(folder + "victim.dat"), body);
  EXPECT_EQ(Count(W("Недопустимое имя файла, файл не принят: "_w) + temporary), 1) << temporary;
  EXPECT_EQ(Count(W("Файл успешно принят (контрольная сумма верная)"_w)), 1);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"victim.dat"});
}

TEST_F(StationReceiveTest, BadSizeLinesAreLoggedAndStoreNothing) {
  struct Case {
    std::string size_line;
    std::string line;  // logged
  };
  const std::string prefix = W("Ошибка при приеме файла: "_w);
  // Apart from the list: clang 14 crashes on a _w literal inside it.
  const std::string negative = W("Недопустимый размер файла: -5"_w);
  const std::vector<Case> cases = {
      {"-5", prefix + negative},
      {"abc", prefix + "'abc' is not a valid integer value"},
      {"2147483648", prefix + "'2147483648' is not a valid integer value"},
      {" 3", prefix + "' 3' is not a valid integer value"},
  };
  int ends = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.size_line);
    EXPECT_EQ(Exchange(FileCommand(k.size_line, "sized.txt", "abc")), "");
    ASSERT_TRUE(WaitForEnds(++ends));
    EXPECT_EQ(Count(k.line), 1);
  }
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{});
  EXPECT_FALSE(messages->visible);
}

TEST_F(StationReceiveTest, ASizePastTheFreeRoomIsRefusedBeforeTheBody) {
  const std::uint64_t free = platform::FreeSpace(folder);
  if (free >= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    GTEST_SKIP() << "the folder's disk has 2 GiB or more free: no size line can exceed it";
  const std::string size = std::to_string(free + 1);
  // The body is never awaited: the station closes at once, however little comes.
  EXPECT_EQ(Exchange("SEND_FILE2\r\n" + size + "\r\nhuge.bin\r\n"), "");
  ASSERT_TRUE(WaitForEnds(1));
  EXPECT_EQ(Count(W("Ошибка при приеме файла: Недостаточно места на диске для файла: "_w) + size +
                  W(" байт"_w)),
            1);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{});
}

// ---- office ----

class OfficeReceiveTest : public ReceiveTest {
 protected:
  void SetUp() override {
    StartEnd(kOfficeMode);
    form = std::make_unique<office::TInetOfficeForm>(State());
    form->InstallInteractiveCommands(*messages);
    form->RunServer();
    folder = CurrentFolders().from_azs;
    platform::CreateDirectories(folder);
  }
  void TearDown() override {
    form.reset();
    messages.reset();
  }

  // A station named name past the handshake.
  TcpConnection Station(const std::string& name) const {
    TcpConnection c = TcpConnection::Connect(test::kLoopback, form->ServerPort(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, name);
    RawWrite(c, "NOPASS");
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  }
  std::string Exchange(const std::string& bytes, const std::string& name = "12") {
    return OnWorker([&] {
      TcpConnection c = Station(name);
      c.Write(bytes);
      return RestUntilClose(c);
    });
  }
  std::string SendAndClose(const std::string& bytes, const std::string& name = "12") {
    return OnWorker([&] {
      TcpConnection c = Station(name);
      c.Write(bytes);
      return Answered(c);
    });
  }
  bool WaitForEnds(int times) {
    return ui::Dispatcher::instance().run_until(
        [&] {
          int n = 0;
          for (const std::string& l : test::LogLines(form->log))
            n += l.starts_with(W("Соединение разорванно, имя АЗС: "_w));
          return n >= times;
        },
        kPumpLimit);
  }
  int Count(std::string_view line) const { return test::CountLine(form->log, line); }

  std::unique_ptr<office::TInetOfficeForm> form;
  std::string folder;  // FromAZS
};

TEST_F(OfficeReceiveTest, ATextBecomesTheWindowCaptionAndANoticeFromItsStation) {
  const std::string text = W("Нужен\rотчет за смену"_w);
  EXPECT_EQ(SendAndClose("SEND_TEXT\r\n" + text + "\r\n", W("АЗС 5"_w)), "");
  ASSERT_TRUE(WaitForEnds(1));
  ASSERT_TRUE(WaitForNotice(text));
  EXPECT_EQ(form->caption, text);
  EXPECT_EQ(messages->caption, W("Получено сообщение от АЗС 5"_w));
  EXPECT_EQ(HistoryLines(), std::vector<std::string>{W("Принято от АЗС 5 : Нужен\rотчет за смену"_w)});
}

// Stations behind one address (one NAT) are each named by what their own
// handshake told; only a connection that told no name is named by its
// address (the registry's first station there).
TEST_F(OfficeReceiveTest, StationsBehindOneAddressAreEachNamedInTheirMessages) {
  EXPECT_EQ(SendAndClose(W("SEND_TEXT\r\nраз\r\n"_w), W("АЗС 5"_w)), "");
  ASSERT_TRUE(WaitForNotice(W("раз"_w)));
  EXPECT_EQ(SendAndClose(W("SEND_TEXT\r\nдва\r\n"_w), W("АЗС 7"_w)), "");
  ASSERT_TRUE(WaitForNotice(W("два"_w)));
  EXPECT_EQ(messages->caption, W("Получено сообщение от АЗС 7"_w));
  EXPECT_EQ(Exchange(FileCommand("3", "list.txt", "abc"), W("АЗС 7"_w)), "");
  ASSERT_TRUE(WaitForNotice(W("Принят файл от АЗС 7\r\n"_w) + folder + W("list.txt\r\nРазмер: 3 байт"_w)));
  ui::Operator::instance().QueueAnswer(ui::Answer::Yes);
  EXPECT_EQ(SendAndClose("SEND_MYIP\r\n", W("АЗС 7"_w)), "");
  EXPECT_EQ(SendAndClose(W("SEND_TEXT\r\nтри\r\n"_w), ""), "");
  ASSERT_TRUE(WaitForNotice(W("три"_w)));
  EXPECT_EQ(messages->caption, W("Получено сообщение от АЗС 5"_w));
  ASSERT_TRUE(WaitForEnds(5));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind(W("АЗС \"АЗС 7\" запрашивает"_w), 0), 0u) << boxes[0].text;
  EXPECT_EQ(HostCalls(), std::vector<std::string>{"host: UpdateTableField OFFICE AZSIP АЗС 7"});  // printed in UTF-8
  EXPECT_EQ(HistoryLines().size(), 4u);
}

TEST_F(OfficeReceiveTest, AStationNameWithControlBytesForgesNoLogOrHistoryLine) {
  const std::string name = W("АЗС 6\r"_w) + "\x1B[2J" + W("17:00:00  Сервер остановлен"_w);
  EXPECT_EQ(SendAndClose(W("SEND_TEXT\r\nпривет\r\n"_w), name), "");
  ASSERT_TRUE(WaitForEnds(1));
  ASSERT_TRUE(WaitForNotice(W("привет"_w)));
  const std::string shown = W("АЗС 6\\x0D\\x1B[2J17:00:00  Сервер остановлен"_w);
  EXPECT_EQ(HistoryLines(), std::vector<std::string>{W("Принято от "_w) + shown + W(" : привет"_w)});
  EXPECT_EQ(Count(W("Соединение разорванно, имя АЗС: "_w) + shown + ", IP: 127.0.0.1"), 1);
  EXPECT_EQ(Count(W("Сервер остановлен"_w)), 0);
  const std::string log = test::ReadFile(CurrentFolders().log_file);
  EXPECT_NE(log.find(W(" - Есть АЗС в списке подключенных: "_w) + shown + " IP: 127.0.0.1\r\n"),
            std::string::npos)
      << log;
}

TEST_F(OfficeReceiveTest, TheStationAddressGoesToTheHostOnYesAndNoChangesNothing) {
  const std::string question = W("АЗС \"12\" запрашивает синхронизацию IP адреса!\rновый IP "
                                 "адрес: 127.0.0.1\rУстановить новый IP для азс?"_w);
  ui::Operator::instance().QueueAnswer(ui::Answer::No);
  EXPECT_EQ(SendAndClose("SEND_MYIP\r\n"), "");
  ASSERT_TRUE(WaitForEnds(1));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, W("Запрос с АЗС!"_w));
  EXPECT_EQ(boxes[0].text, question);
  EXPECT_EQ(HostCalls(), std::vector<std::string>{});

  ui::Operator::instance().QueueAnswer(ui::Answer::Yes);
  EXPECT_EQ(SendAndClose("SEND_MYIP\r\n"), "");
  ASSERT_TRUE(WaitForEnds(2));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(HostCalls(), std::vector<std::string>{"host: UpdateTableField OFFICE AZSIP 12"});
}

TEST_F(OfficeReceiveTest, AFileIsStoredInFromAzsUnderAPlainNameAndNoticedWithItsStation) {
  TheSettings().InetBuffSize = 100;
  const std::string body = test::Pattern(250);
  EXPECT_EQ(Exchange(FileCommand("250", "D:\\smena\\..\\list.txt", body)), "");
  ASSERT_TRUE(WaitForEnds(1));
  const std::string path = folder + "list.txt";
  EXPECT_EQ(test::ReadFile(path), body);
  const std::string title = W("Принят файл от 12"_w);
  ASSERT_TRUE(WaitForNotice(title + "\r\n" + path + W("\r\nРазмер: 250 байт"_w)));
  EXPECT_EQ(messages->caption, title);
  EXPECT_EQ(Count(W("Файл успешно принят (контрольная сумма верная)"_w)), 1);
  EXPECT_EQ(HistoryLines().size(), 1u);
}

TEST_F(OfficeReceiveTest, AReceptionTheOperatorStopsIsCancelledAndStoresNothing) {
  office::StationMessages m = form->MessagesSetup(*messages);
  m.listener.progress = StoppedByTheOperator();
  form->listener().SetCommandHandler("SEND_FILE2",
                                     [m](protocol::Session& s) { ServeStationFile(s, m); });
  EXPECT_EQ(Exchange(FileCommand("300", "stopped.txt", test::Pattern(300))), "");
  ASSERT_TRUE(WaitForEnds(1));
  const std::string notice = W("Обмен данными прерван пользователем"_w);
  EXPECT_EQ(Count(notice), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, W("Связь с офисом"_w));
  EXPECT_EQ(boxes[0].text, notice);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{});
  EXPECT_FALSE(messages->visible);
}

TEST_F(OfficeReceiveTest, ACutFileABadSizeAndARefusedNameStoreNothing) {
  const std::string prefix = W("Ошибка при приеме файла: "_w);
  OnWorker([&] {
    TcpConnection c = Station("12");
    c.Write("SEND_FILE2\r\n50\r\ncut.txt\r\n" + test::Pattern(20));
    c.Disconnect();
  });
  ASSERT_TRUE(WaitForEnds(1));
  EXPECT_EQ(Count(prefix + "Connection Closed Gracefully."), 1);
  EXPECT_EQ(Exchange(FileCommand("x1", "bad.txt", "abc")), "");
  ASSERT_TRUE(WaitForEnds(2));
  EXPECT_EQ(Count(prefix + "'x1' is not a valid integer value"), 1);
  EXPECT_EQ(Exchange(FileCommand("3", "..", "abc")), "");
  ASSERT_TRUE(WaitForEnds(3));
  EXPECT_EQ(Count(W("Недопустимое имя файла, файл не принят: .."_w)), 1);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{});
  EXPECT_FALSE(messages->visible);
}

}  // namespace
}  // namespace pw
