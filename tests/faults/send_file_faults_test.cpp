// "SEND_FILE2" reception at both ends under injected faults: every file
// call of a reception failing in turn, and the connection cut after every
// byte of the handshake and the command's lines and at the start, middle and
// end of the body. After each: the file of that name still the older one,
// no temporary beside it, the reception's own error line in the log, and
// the listener serving the next sender.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "cut_proxy.h"
#include "fault_walk.h"
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
#include "window_log.h"
#include "wire_bytes.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using platform::FileCall;
using platform::TcpConnection;
using test::CutProxy;
using test::kWaitMs;
using test::RawLine;
using test::RawWrite;

constexpr auto kPumpLimit = 20s;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// "SEND_FILE2", the size line, the name line, the body and "111".
std::string FileCommand(const std::string& name, const std::string& body) {
  return "SEND_FILE2\r\n" + std::to_string(body.size()) + "\r\n" + name + "\r\n" + body + "111\r\n";
}

// One end's listener with the interactive commands, and a sender that talks
// to it (directly or through a relay that cuts).
class FileReceptionFaults : public test::ProcessStateTest {
 protected:
  void Start(std::uint8_t mode) {
    TheSettings().InPort = 0;
    TheSettings().ReadTimeOut = kWaitMs;
    TheSettings().InetBuffSize = 4096;
    platform::CreateDirectories(CurrentFolders().log_files);
    State().mode = mode;
    State().host.emplace(&host);
    messages = std::make_unique<interactive::TInteractiveForm>(State());
  }

  virtual int Port() const = 0;
  virtual const ui::ListBox& Log() const = 0;
  // The sender's side of the handshake, past the listener's "OK".
  virtual void Handshake(TcpConnection& c) const = 0;
  // Every connection the listener served ends in one line starting so.
  virtual std::string EndLine() const = 0;
  virtual std::string HandshakeErrorPrefix() const = 0;

  int Count(const std::string& line) const { return test::CountLine(Log(), line); }
  int CountStarting(const std::string& prefix) const {
    int n = 0;
    for (const std::string& l : test::LogLines(Log())) n += StartsWith(l, prefix);
    return n;
  }
  std::vector<std::string> LinesStarting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& l : test::LogLines(Log()))
      if (StartsWith(l, prefix)) found.push_back(l);
    return found;
  }

  // One sender on port: the handshake, then bytes, then it reads until the
  // listener closes. A cut anywhere just ends it. Pumps until the listener
  // has ended the connection.
  void Send(int port, const std::string& bytes) {
    test::OnWorker(
        [&] {
          try {
            TcpConnection c = TcpConnection::Connect(test::kLoopback, port, kWaitMs);
            c.SetReadTimeout(kWaitMs);
            Handshake(c);
            c.Write(bytes);
            for (;;) c.ReadByte();
          } catch (const std::exception&) {
          }
        },
        kPumpLimit);
    ++ends;
    ASSERT_TRUE(ui::Dispatcher::instance().run_until([&] { return CountStarting(EndLine()) >= ends; },
                                                     kPumpLimit));
  }

  // The listener still takes a whole file: the check after every fault.
  void ExpectServing() {
    const int stored = Count(kSuccess);
    Send(Port(), FileCommand("next.txt", body));
    EXPECT_EQ(Count(kSuccess), stored + 1);
    EXPECT_TRUE(test::ReadFile(folder + "next.txt") == body);
    platform::RemoveFile(folder + "next.txt");
  }
  // What a failed reception must leave: the older file whole, nothing else.
  void ExpectOlderFileAlone() {
    EXPECT_EQ(test::ReadFile(folder + "keep.txt").substr(0, 40), "older");
    EXPECT_EQ(test::FilesIn(folder), std::vector<std::string>{"keep.txt"});
  }

  void WalkFileCalls() {
    test::WriteFile(folder + "keep.txt", "older");
    const std::string command = FileCommand("keep.txt", body);
    const test::FileCallCounts counts = test::CountFileCalls(folder, [&] { Send(Port(), command); });
    // The counted run stored the file: put the older one back.
    ASSERT_TRUE(test::ReadFile(folder + "keep.txt") == body);
    EXPECT_EQ(counts, (test::FileCallCounts{1, 4, 1, 1}));  // 100 000 bytes in 32 KiB pieces
    test::WriteFile(folder + "keep.txt", "older");

    const int runs = test::WalkFileFaults(
        folder, counts, [&] { Send(Port(), command); },
        [&](FileCall call, std::uint64_t n) {
          SCOPED_TRACE(std::string(test::CallName(call)) + " #" + std::to_string(n));
          const std::vector<std::string> errors = LinesStarting(kErrorPrefix);
          ASSERT_EQ(errors.size(), ++failures);
          // The OS's failure of that call, as the backend words it.
          EXPECT_TRUE(EndsWith(errors.back(), ": " + test::InjectedFailureText(call, root.path())))
              << errors.back();
          ExpectOlderFileAlone();
          ExpectServing();
        });
    EXPECT_EQ(runs, 7);
  }

  void WalkCuts() {
    test::WriteFile(folder + "keep.txt", "older");
    const std::string command = FileCommand("keep.txt", body);
    // The bytes of a clean run: the handshake, then only the sender's.
    std::int64_t total = 0;
    {
      CutProxy proxy(Port(), CutProxy::Counted::kBoth, CutProxy::kNever);
      Send(proxy.Port(), command);
      ASSERT_TRUE(proxy.WaitAllEnded(kWaitMs));
      total = proxy.ToListener() + proxy.ToClient();
    }
    test::WriteFile(folder + "keep.txt", "older");
    const std::int64_t handshake = total - static_cast<std::int64_t>(command.size());
    const std::int64_t lines = handshake + static_cast<std::int64_t>(command.find("keep.txt") + 10);
    const std::int64_t command_line = handshake + 12;  // "SEND_FILE2\r\n"
    const std::vector<std::int64_t> cuts =
        test::CutPoints(total, {{lines, lines + static_cast<std::int64_t>(body.size())}});
    for (const std::int64_t cut : cuts) {
      SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(total) + " bytes");
      const int handshake_errors = CountStarting(HandshakeErrorPrefix());
      const std::size_t reception_errors = LinesStarting(kErrorPrefix).size();
      {
        CutProxy proxy(Port(), CutProxy::Counted::kBoth, cut);
        Send(proxy.Port(), command);
        ASSERT_TRUE(proxy.WaitAllEnded(kWaitMs));
      }
      // The listener's last "OK" may or may not have gone out before the
      // cut; before it the handshake fails, after the command line the
      // reception does.
      if (cut < handshake - 4) {
        EXPECT_EQ(CountStarting(HandshakeErrorPrefix()), handshake_errors + 1);
      }
      const std::size_t expected = reception_errors + (cut >= command_line ? 1 : 0);
      EXPECT_EQ(LinesStarting(kErrorPrefix).size(), expected);
      ExpectOlderFileAlone();
      ExpectServing();
    }
    EXPECT_GT(cuts.size(), 50u);
  }

  const std::string kErrorPrefix = W("Ошибка при приеме файла: "_w);
  const std::string kSuccess = W("Файл успешно принят (контрольная сумма верная)"_w);
  const std::string body = test::Pattern(100000);
  test::TempFolder root;
  host::FolderHost host{root.path() + "host/", W("АЗС 3"_w), 4, [](const std::string&) {}};
  std::unique_ptr<interactive::TInteractiveForm> messages;
  std::string folder;
  int ends = 0;
  std::size_t failures = 0;
};

class StationReceptionFaults : public FileReceptionFaults {
 protected:
  void SetUp() override {
    Start(kStationMode);
    form = std::make_unique<station::TInetForm>(State());
    form->local_addresses = [] { return std::vector<std::string>{test::kLoopback}; };
    form->InstallInteractiveCommands(*messages);
    form->RunServer();
    folder = CurrentFolders().from_office;
    platform::CreateDirectories(folder);
  }
  void TearDown() override {
    form.reset();
    messages.reset();
  }
  int Port() const override { return form->IdTCPServer1.Port(); }
  const ui::ListBox& Log() const override { return form->log; }
  void Handshake(TcpConnection& c) const override {
    RawLine(c);  // "OK"
    RawLine(c);  // the station's name
    RawWrite(c, "NOPASS");
    RawLine(c);  // "OK"
  }
  std::string EndLine() const override { return W("Входящее подключение разорванно, IP: "_w); }
  std::string HandshakeErrorPrefix() const override { return W("Ошибка входящего подключения: "_w); }

  std::unique_ptr<station::TInetForm> form;
};

class OfficeReceptionFaults : public FileReceptionFaults {
 protected:
  void SetUp() override {
    Start(kOfficeMode);
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
  int Port() const override { return form->ServerPort(); }
  const ui::ListBox& Log() const override { return form->log; }
  void Handshake(TcpConnection& c) const override {
    RawLine(c);  // "OK"
    RawWrite(c, "12");
    RawWrite(c, "NOPASS");
    RawLine(c);  // "OK"
  }
  std::string EndLine() const override { return W("Соединение разорванно, имя АЗС: "_w); }
  std::string HandshakeErrorPrefix() const override { return W("Ошибка при подключении: "_w); }

  std::unique_ptr<office::TInetOfficeForm> form;
};

TEST_F(StationReceptionFaults, EveryFailingFileCallKeepsTheOlderFileAndLeavesNoTemporary) {
  WalkFileCalls();
}
TEST_F(StationReceptionFaults, ACutAtAnyByteKeepsTheOlderFileAndTheListenerServes) { WalkCuts(); }
TEST_F(OfficeReceptionFaults, EveryFailingFileCallKeepsTheOlderFileAndLeavesNoTemporary) {
  WalkFileCalls();
}
TEST_F(OfficeReceptionFaults, ACutAtAnyByteKeepsTheOlderFileAndTheListenerServes) { WalkCuts(); }

}  // namespace
}  // namespace pw
