// "SEND_FILE2" reception at both ends under injected faults: every file
// call of a reception failing in turn, and the connection cut after every
// byte of the handshake and the command's lines and at the start, middle and
// end of the body. After each: the file of that name still the older one,
// no temporary beside it, the reception's own error line in the log, and
// the listener serving the next sender.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
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

using test::EndsWith;
using test::StartsWith;

// "SEND_FILE2", the size line, the name line, the body and "111".
std::string FileCommand(const std::string& name, const std::string& body) {
  return "SEND_FILE2\r\n" + std::to_string(body.size()) + "\r\n" + name + "\r\n" + body + "111\r\n";
}

struct NoProgress : protocol::TransferProgress {
  void Step(std::int32_t) override {}
  bool StopRequested() const override { return false; }
  bool TakeStop() override { return false; }
};

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

  // One file command as a sender sends it, and what the receiving end
  // does with it.
  struct Command {
    // The bytes after the handshake that deliver body under name.
    std::function<std::string(const std::string& name, const std::string& body)> bytes;
    std::function<std::string(const std::string& name)> stored;  // the name it is kept under
    std::string error_prefix;  // the reception's error line
    std::string success;       // its line for a whole file
    // After a whole file the connection goes on: the sender ends it once
    // this answer to a closing command has come.
    std::string last_answer;
    // The bytes a cut counts: both ways where the listener says nothing
    // after the handshake, else the sender's alone (the listener's answers
    // would interleave with them by chance).
    CutProxy::Counted counted = CutProxy::Counted::kBoth;
  };
  Command SendFile2() const {
    return {FileCommand, [](const std::string& name) { return name; },
            W("Ошибка при приеме файла: "_w),
            W("Файл успешно принят (контрольная сумма верная)"_w), ""};
  }

  // One sender on port: the handshake, then bytes, then it reads until the
  // listener closes (or answers last_answer). A cut anywhere just ends it.
  // Pumps until the listener has ended the connection.
  // wait_end false: only until the sender sees its connection end, for
  // runs whose log may lose the end line.
  void Send(int port, const std::string& bytes, const std::string& last_answer,
            bool wait_end = true) {
    test::OnWorker(
        [&] {
          try {
            TcpConnection c = TcpConnection::Connect(test::kLoopback, port, kWaitMs);
            c.SetReadTimeout(kWaitMs);
            Handshake(c);
            c.Write(bytes);
            std::string got;
            while (last_answer.empty() || got.find(last_answer) == std::string::npos)
              got += static_cast<char>(c.ReadByte());
          } catch (const std::exception&) {
          }
        },
        kPumpLimit);
    if (!wait_end) return;
    ++ends;
    ASSERT_TRUE(ui::Dispatcher::instance().run_until([&] { return CountStarting(EndLine()) >= ends; },
                                                     kPumpLimit));
  }

  // The listener still takes a whole file: the check after every fault.
  void ExpectServing(const Command& k) {
    const int stored = Count(k.success);
    Send(Port(), k.bytes("next.txt", body), k.last_answer);
    EXPECT_EQ(Count(k.success), stored + 1);
    EXPECT_TRUE(test::ReadFile(folder + k.stored("next.txt")) == body);
    platform::RemoveFile(folder + k.stored("next.txt"));
  }
  // What a failed reception must leave: the older file whole, nothing else.
  void ExpectOlderFileAlone(const Command& k) {
    EXPECT_EQ(test::ReadFile(folder + k.stored("keep.txt")).substr(0, 40), "older");
    EXPECT_EQ(test::FilesIn(folder), std::vector<std::string>{k.stored("keep.txt")});
  }

  void WalkFileCalls(const Command& k) {
    const std::string target = folder + k.stored("keep.txt");
    test::WriteFile(target, "older");
    const std::string command = k.bytes("keep.txt", body);
    const auto send = [&] { Send(Port(), command, k.last_answer); };
    const test::FileCallCounts counts = test::CountFileCalls(folder, send);
    // The counted run stored the file: put the older one back.
    ASSERT_TRUE(test::ReadFile(target) == body);
    EXPECT_EQ(counts, (test::FileCallCounts{1, 4, 1, 1}));  // 100 000 bytes in 32 KiB pieces
    test::WriteFile(target, "older");

    std::size_t failures = LinesStarting(k.error_prefix).size();
    const int runs = test::WalkFileFaults(folder, counts, send, [&](FileCall call, std::uint64_t n) {
      SCOPED_TRACE(std::string(test::CallName(call)) + " #" + std::to_string(n));
      const std::vector<std::string> errors = LinesStarting(k.error_prefix);
      ASSERT_EQ(errors.size(), ++failures);
      // The OS's failure of that call, as the backend words it.
      EXPECT_TRUE(EndsWith(errors.back(), ": " + test::InjectedFailureText(call, root.path())))
          << errors.back();
      ExpectOlderFileAlone(k);
      ExpectServing(k);
    });
    EXPECT_EQ(runs, 7);
  }

  // Every append to the log failing in turn while a file comes in: the log
  // is not the file, so the file is stored whole or not at all, nothing is
  // left beside it, and the listener goes on.
  void WalkLogCalls(const Command& k) {
    const std::string target = folder + k.stored("keep.txt");
    const std::string command = k.bytes("keep.txt", body);
    const std::string logs = CurrentFolders().log_files;
    const test::FileCallCounts counts =
        test::CountFileCalls(logs, [&] { Send(Port(), command, k.last_answer); });
    EXPECT_GE(counts[static_cast<std::size_t>(FileCall::kOpen)], 3u);
    const int runs = test::WalkFileFaults(
        logs, counts,
        [&] {
          test::WriteFile(target, "older");
          Send(Port(), command, k.last_answer, /*wait_end=*/false);
        },
        [&](FileCall call, std::uint64_t n) {
          SCOPED_TRACE(std::string(test::CallName(call)) + " #" + std::to_string(n));
          const std::string kept = test::ReadFile(target);
          EXPECT_TRUE(kept == "older" || kept == body) << kept.size() << " bytes";
          EXPECT_EQ(test::FilesIn(folder), std::vector<std::string>{k.stored("keep.txt")});
          ends = CountStarting(EndLine());
          ExpectServing(k);
        });
    EXPECT_GE(runs, 9);
  }

  void WalkCuts(const Command& k) {
    test::WriteFile(folder + k.stored("keep.txt"), "older");
    const std::string command = k.bytes("keep.txt", body);
    std::int64_t total = 0;
    {
      CutProxy proxy(Port(), k.counted, CutProxy::kNever);
      Send(proxy.Port(), command, k.last_answer);
      ASSERT_TRUE(proxy.WaitAllEnded(kWaitMs));
      total = proxy.ToListener() + (k.counted == CutProxy::Counted::kBoth ? proxy.ToClient() : 0);
    }
    test::WriteFile(folder + k.stored("keep.txt"), "older");
    const std::int64_t handshake = total - static_cast<std::int64_t>(command.size());
    const std::int64_t body_start =
        handshake + static_cast<std::int64_t>(command.find("keep.txt") + 10);  // past the name line
    const std::int64_t command_line = handshake + static_cast<std::int64_t>(command.find('\n') + 1);
    const std::vector<std::int64_t> cuts =
        test::CutPoints(total, {{body_start, body_start + static_cast<std::int64_t>(body.size())}});
    for (const std::int64_t cut : cuts) {
      SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(total) + " bytes");
      const int handshake_errors = CountStarting(HandshakeErrorPrefix());
      const std::size_t reception_errors = LinesStarting(k.error_prefix).size();
      {
        CutProxy proxy(Port(), k.counted, cut);
        Send(proxy.Port(), command, k.last_answer);
        ASSERT_TRUE(proxy.WaitAllEnded(kWaitMs));
      }
      // Before the whole password line the handshake fails (the listener's
      // "OK" after it may or may not be out before the cut); after the
      // command line the reception does (a cut in the closing command, after
      // the whole file, fails nothing).
      if (cut < handshake - (k.counted == CutProxy::Counted::kBoth ? 4 : 0)) {
        EXPECT_EQ(CountStarting(HandshakeErrorPrefix()), handshake_errors + 1);
      }
      const bool in_reception = cut >= command_line && cut < body_start + static_cast<std::int64_t>(body.size()) +
                                                                (k.last_answer.empty() ? 5 : 0);
      if (cut < command_line || in_reception) {
        EXPECT_EQ(LinesStarting(k.error_prefix).size(), reception_errors + (in_reception ? 1 : 0));
      } else {
        // The whole file is in; the listener's last answer may or may not
        // be out before the cut, and a failed answer may be told.
        EXPECT_LE(LinesStarting(k.error_prefix).size(), reception_errors + 1);
      }
      if (cut < body_start + static_cast<std::int64_t>(body.size()) + (k.last_answer.empty() ? 5 : 0)) {
        ExpectOlderFileAlone(k);
      }
      ExpectServing(k);
      test::WriteFile(folder + k.stored("keep.txt"), "older");
    }
    EXPECT_GT(cuts.size(), 40u);
  }

  const std::string body = test::Pattern(100000);
  test::TempFolder root;
  host::FolderHost host{root.path() + "host/", W("АЗС 3"_w), 4, [](const std::string&) {}};
  std::unique_ptr<interactive::TInteractiveForm> messages;
  std::string folder;
  int ends = 0;
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

  // "Send_file": the station delivers its report, stored in OFFICE under
  // its name less four characters and the station's name; the station then
  // asks for a request and hears there is none.
  void InstallReportCommands() {
    office::ListenerContext context = form->MakeListenerContext();
    context.progress = [](const std::string&, std::int32_t, std::int32_t) {
      return std::make_unique<NoProgress>();
    };
    form->InstallReportCommands(context);
    TheSettings().useFastDatTravel = true;  // the body without acknowledgements between its bytes
    folder = OfficeFolder();
    platform::CreateDirectories(folder);
  }
  Command Report() const {
    return {[](const std::string& name, const std::string& body) {
              return "Send_file\r\n" + std::to_string(body.size()) + "\r\n" + name + "\r\n" + body +
                     "TRY_GET_ZAPROS\r\n";
            },
            [](const std::string& name) { return name.substr(0, name.size() - 4) + "_12.dat"; },
            W("Ошибка приема файла: "_w), W("Файл принят успешно (контрольная сумма в порядке)"_w),
            "No_zapros\r\n", CutProxy::Counted::kToListener};
  }

  std::unique_ptr<office::TInetOfficeForm> form;
};

TEST_F(StationReceptionFaults, EveryFailingFileCallKeepsTheOlderFileAndLeavesNoTemporary) {
  WalkFileCalls(SendFile2());
}
TEST_F(StationReceptionFaults, ACutAtAnyByteKeepsTheOlderFileAndTheListenerServes) {
  WalkCuts(SendFile2());
}
TEST_F(OfficeReceptionFaults, EveryFailingFileCallKeepsTheOlderFileAndLeavesNoTemporary) {
  WalkFileCalls(SendFile2());
}
TEST_F(OfficeReceptionFaults, ACutAtAnyByteKeepsTheOlderFileAndTheListenerServes) {
  WalkCuts(SendFile2());
}
TEST_F(StationReceptionFaults, ALogThatCannotBeWrittenCostsItsLinesNotTheFile) {
  WalkLogCalls(SendFile2());
}
TEST_F(OfficeReceptionFaults, ALogThatCannotBeWrittenCostsItsLinesNotTheFile) {
  WalkLogCalls(SendFile2());
}
TEST_F(OfficeReceptionFaults, ALogThatCannotBeWrittenCostsItsLinesNotTheReport) {
  InstallReportCommands();
  WalkLogCalls(Report());
}
TEST_F(OfficeReceptionFaults, EveryFailingFileCallOfAStationsReportKeepsTheOlderReport) {
  InstallReportCommands();
  WalkFileCalls(Report());
}
TEST_F(OfficeReceptionFaults, ACutAtAnyByteOfAStationsReportKeepsTheOlderReport) {
  InstallReportCommands();
  WalkCuts(Report());
}

}  // namespace
}  // namespace pw
