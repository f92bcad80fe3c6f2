// The office's side of the report exchange over real sockets on loopback:
// its listener serving "TRY_GET_ZAPROS" and "Send_file" to scripted
// stations, and its own report request ("GET_OTCHET") against a scripted
// station listener. The test thread is the main thread and pumps while it
// waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <thread>

#include "main_thread_pump.h"
#include "digest_line.h"
#include "fake_dial_up.h"
#include "raw_peer.h"
#include "wire_bytes.h"
#include "office/inet_office_form.h"
#include "office/stations_form.h"
#include "office/report_exchange_thread.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "services/worker_threads.h"
#include "services/folders.h"
#include "shell/plugin_state.h"
#include "services/settings.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "window_log.h"
#include "sync/mutex.h"

namespace pw::office {
namespace {

using platform::TcpConnection;
using test::kWaitMs;
using test::RawLine;
using test::RawWrite;
using test::SeesClose;
using namespace std::chrono_literals;

constexpr const char* kHost = test::kLoopback;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

using test::Int4;
using test::Pattern;
using test::ReadExactly;

// One transfer mode of both ends.
struct Mode {
  bool fast;
  std::int32_t packet;  // B
};
constexpr Mode kAcknowledged{false, 128};
constexpr Mode kFast{true, 256000};

// The scripted peer's side of a body: it sends in steps of B and reads an
// ack after each (also the last, empty one) unless in fast mode...
void SendSteps(TcpConnection& c, const std::string& body, Mode mode) {
  if (mode.fast) return c.Write(body);
  const std::size_t n = body.size() / mode.packet;
  for (std::size_t i = 1; i <= n + 1; ++i) {
    c.Write(body.substr((i - 1) * mode.packet, i <= n ? mode.packet : body.size() % mode.packet));
    EXPECT_EQ(ReadExactly(c, 4), Int4(static_cast<std::int32_t>(i)));
  }
}
// ... and receives in steps of B, acknowledging each.
std::string ReceiveSteps(TcpConnection& c, std::size_t size, Mode mode) {
  if (mode.fast) return ReadExactly(c, size);
  std::string body;
  const std::size_t n = size / mode.packet;
  for (std::size_t i = 1; i <= n + 1; ++i) {
    body += ReadExactly(c, i <= n ? mode.packet : size % mode.packet);
    c.Write(Int4(static_cast<std::int32_t>(i)));
  }
  return body;
}

// The office host, scripted: request files per station name, the reports it
// was handed (with their bytes at that moment), and errors on demand.
class ScriptedHost : public PwHostServices {
 public:
  ScriptedHost() : PwHostServices{&kVtbl} {}

  struct Report {
    std::string station, path, bytes;
  };
  void SetRequest(const std::string& station, const std::string& path) {
    MutexLock lock(mu_);
    requests_[station] = path;
  }
  void FailWith(std::string error) {
    MutexLock lock(mu_);
    error_ = std::move(error);
  }
  std::vector<Report> Reports() const {
    MutexLock lock(mu_);
    return reports_;
  }

 private:
  static ScriptedHost& Self(PwHostServices* self) { return *static_cast<ScriptedHost*>(self); }
  static const char* Keep(std::string text) {
    thread_local std::string kept;
    kept = std::move(text);
    return kept.c_str();
  }
  static PwError PW_CALL GetRequestFile(PwHostServices* self, const char* station, const char** path) {
    ScriptedHost& host = Self(self);
    MutexLock lock(host.mu_);
    if (!host.error_.empty()) return Keep(host.error_);
    const auto it = host.requests_.find(station);
    *path = Keep(it == host.requests_.end() ? std::string() : it->second);
    return nullptr;
  }
  static PwError PW_CALL ProcessReportFile(PwHostServices* self, const char* station, const char* path,
                                           const char** result) {
    ScriptedHost& host = Self(self);
    MutexLock lock(host.mu_);
    if (!host.error_.empty()) return Keep(host.error_);
    host.reports_.push_back({station, path, test::ReadFile(path)});
    *result = Keep({});
    return nullptr;
  }
  static constexpr PwHostServicesVtbl kVtbl = {nullptr, nullptr, nullptr, nullptr, GetRequestFile, nullptr,
                                               ProcessReportFile, nullptr, nullptr, nullptr, nullptr,
                                               nullptr, nullptr};

  mutable Mutex mu_;
  std::map<std::string, std::string> requests_ GUARDED_BY(mu_);
  std::string error_ GUARDED_BY(mu_);
  std::vector<Report> reports_ GUARDED_BY(mu_);
};

// A progress window that is never stopped.
struct NoProgress : protocol::TransferProgress {
  void Step(std::int32_t) override {}
  bool StopRequested() const override { return false; }
  bool TakeStop() override { return false; }
};
// The operator's Stop, pressed once the first step is in.
struct StopAfterFirstStep : NoProgress {
  bool stop = false;
  void Step(std::int32_t packets_done) override { stop = stop || packets_done >= 2; }
  bool StopRequested() const override { return stop; }
  bool TakeStop() override { return std::exchange(stop, false); }
};

protocol::ProgressFactory NoProgressWindows() {
  return [](const std::string&, std::int32_t, std::int32_t) { return std::make_unique<NoProgress>(); };
}

class OfficeReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Dispatcher::instance().attach_main_thread();
    TheSettings().Reset();
    TheSettings().InPort = 0;
    platform::CreateDirectories(CurrentFolders().log_files);
    form = std::make_unique<TInetOfficeForm>(State());
  }
  void TearDown() override {
    form.reset();
    ui::Operator::instance().SetObserver(nullptr);
    ui::Dispatcher::instance().detach_main_thread();
    State().remembered_addresses.clear();
    TheSettings().Reset();
  }

  void SetMode(Mode mode) {
    TheSettings().useFastDatTravel = mode.fast;
    TheSettings().InetBuffSize = mode.packet;
  }
  // The listener with the report commands on the scripted host.
  void StartListener(std::chrono::milliseconds pause = 0ms) {
    ListenerContext context = form->MakeListenerContext();
    context.host = [this] { return HostServices(&host); };
    context.progress = NoProgressWindows();
    context.pause = pause;
    form->InstallReportCommands(context);
    form->RunServer();
  }
  // A station past the handshake, with its name registered.
  TcpConnection Station(const std::string& name) {
    TcpConnection c = TcpConnection::Connect(kHost, form->ServerPort(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), TheSettings().useFastDatTravel ? "OKF" : "OK");
    RawWrite(c, name);
    RawWrite(c, "NOPASS");
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  }

  // Runs a station's script on a thread of its own while the main thread
  // pumps (the office's connections log to the window through it).
  template <class Fn>
  auto OnWorker(Fn fn) {
    return test::OnWorker(std::move(fn), std::chrono::seconds(60));
  }

  std::vector<std::string> Lines() const { return test::LogLines(form->log); }
  int Count(std::string_view line) const { return test::CountLine(form->log, line); }
  bool WaitFor(std::string_view line, int times = 1) {
    return test::WaitForLine(form->log, line, times, std::chrono::seconds(20));
  }
  std::string LogFile() const { return test::ReadFile(CurrentFolders().log_file); }
  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> names;
    if (!platform::DirectoryExists(folder)) return names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempFolder root;
  ScriptedHost host;
  std::unique_ptr<TInetOfficeForm> form;
  const std::string kDeparted = W("Соединение разорванно, имя АЗС: 12, IP: 127.0.0.1"_w);
};

// ---- "TRY_GET_ZAPROS" ----

TEST_F(OfficeReportTest, NoRequestAnswersNoZaprosAndTheConnectionGoesOnToTheRequest) {
  StartListener();
  OnWorker([&] {
    TcpConnection station = Station("12");
    RawWrite(station, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(station), "No_zapros");
    EXPECT_FALSE(station.WaitReadable(100));  // exactly one line

    test::WriteFile(root / "req12.txt", "request");
    host.SetRequest("12", root / "req12.txt");
    RawWrite(station, "TRY_GET_ZAPROS");  // the same connection, served again
    EXPECT_EQ(RawLine(station), "OK");
    EXPECT_EQ(RawLine(station), "7");
    EXPECT_EQ(RawLine(station), "req12.txt");  // the bare name, not the path
    EXPECT_EQ(ReceiveSteps(station, 7, kAcknowledged), "request");
  });
  ASSERT_TRUE(WaitFor(W("Файл запроса "_w) + (root / "req12.txt") + W(" передан успешно"_w)));
  EXPECT_EQ(Count(W("Передача файла запроса: "_w) + (root / "req12.txt") + W(" 7 байт для АЗС: 12"_w)), 1);
}

TEST_F(OfficeReportTest, TheRequestGoesByteExactInBothModesForEmptyAndWholePacketSizes) {
  struct Case {
    Mode mode;
    int size;
  };
  for (const Case& c : {Case{kAcknowledged, 0}, Case{kAcknowledged, 384}, Case{kFast, 0},
                        Case{kFast, 512000}}) {
    const Mode mode = c.mode;
    const int size = c.size;
    SCOPED_TRACE(std::to_string(mode.packet) + " " + std::to_string(size));
    SetMode(mode);
    StartListener();
    const std::string body = Pattern(static_cast<std::size_t>(size));
    test::WriteFile(root / "r.txt", body);
    host.SetRequest("12", root / "r.txt");
    OnWorker([&] {
      TcpConnection station = Station("12");
      RawWrite(station, "TRY_GET_ZAPROS");
      EXPECT_EQ(RawLine(station), "OK");
      EXPECT_EQ(RawLine(station), std::to_string(size));
      EXPECT_EQ(RawLine(station), "r.txt");
      EXPECT_EQ(ReceiveSteps(station, body.size(), mode) == body, true);
      // Nothing more: no stray acknowledgement or line after the body.
      RawWrite(station, "TRY_GET_ZAPROS");
      EXPECT_EQ(RawLine(station), "OK");
    });
    form->StopServer();
  }
}

// A station that takes its request's body slowly (or never) holds up no
// other station, and gets the request it was offered even when the host
// prepares the next one under the same path meanwhile.
TEST_F(OfficeReportTest, AStationSlowToTakeItsRequestHoldsUpNoOtherAndGetsWhatItWasOffered) {
  StartListener(1000ms);  // the real pause
  test::WriteFile(root / "a.txt", Pattern(300));
  host.SetRequest("A", root / "a.txt");
  host.SetRequest("B", root / "a.txt");
  OnWorker([&] {
    TcpConnection a = Station("A"), b = Station("B");
    RawWrite(a, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(a), "OK");
    EXPECT_EQ(RawLine(a), "300");
    EXPECT_EQ(RawLine(a), "a.txt");
    test::WriteFile(root / "a.txt", std::string(200, 'b'));
    // A acknowledges nothing yet; B is served all the same.
    RawWrite(b, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(b), "OK");
    EXPECT_EQ(RawLine(b), "200");
    EXPECT_EQ(RawLine(b), "a.txt");
    EXPECT_EQ(ReceiveSteps(b, 200, kAcknowledged), std::string(200, 'b'));
    EXPECT_EQ(ReceiveSteps(a, 300, kAcknowledged), Pattern(300));
  });
  // Each digest line names the request the host gave, not the copy sent.
  EXPECT_TRUE(WaitFor(test::DigestLine(Pattern(300), root / "a.txt")));
  EXPECT_TRUE(WaitFor(test::DigestLine(std::string(200, 'b'), root / "a.txt")));
  form.reset();  // joins the connections: their copies of the request have gone
  for (const auto& entry : std::filesystem::directory_iterator(test::Utf8Path(CurrentFolders().from_azs)))
    ADD_FAILURE() << "left behind: " << entry.path();
}

// Stations behind one address (one NAT) each get their own request and
// have their reports stored and handed under their own names: a connection
// is named by its own handshake. Only one that told no name is named by its
// address, the registry's first station there.
TEST_F(OfficeReportTest, StationsBehindOneAddressKeepTheirOwnRequestsAndReports) {
  StartListener();
  test::WriteFile(root / "a.txt", Pattern(300));
  test::WriteFile(root / "n.txt", "request");
  host.SetRequest("A", root / "a.txt");
  host.SetRequest("NEIGHBOUR", root / "n.txt");
  OnWorker([&] {
    TcpConnection a = Station("A"), neighbour = Station("NEIGHBOUR"), unnamed = Station("");
    RawWrite(neighbour, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(neighbour), "OK");
    EXPECT_EQ(RawLine(neighbour), "7");
    EXPECT_EQ(RawLine(neighbour), "n.txt");
    EXPECT_EQ(ReceiveSteps(neighbour, 7, kAcknowledged), "request");
    RawWrite(unnamed, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(unnamed), "OK");
    EXPECT_EQ(RawLine(unnamed), "300");
    EXPECT_EQ(RawLine(unnamed), "a.txt");
    EXPECT_EQ(ReceiveSteps(unnamed, 300, kAcknowledged), Pattern(300));
    for (TcpConnection* c : {&neighbour, &a}) {
      RawWrite(*c, "Send_file");
      EXPECT_EQ(RawLine(*c), "OK");
      RawWrite(*c, "5");
      RawWrite(*c, "otchet.txt");
      SendSteps(*c, c == &a ? "aaaaa" : "nnnnn", kAcknowledged);
    }
  });
  ASSERT_TRUE(WaitFor(W("Обработка принятого файла otchet_A.dat завершена!"_w)));
  ASSERT_TRUE(WaitFor(W("Обработка принятого файла otchet_NEIGHBOUR.dat завершена!"_w)));
  EXPECT_EQ(test::ReadFile(OfficeFolder() + "otchet_NEIGHBOUR.dat"), "nnnnn");
  EXPECT_EQ(test::ReadFile(OfficeFolder() + "otchet_A.dat"), "aaaaa");
  // The two connections hand their reports over side by side: in either order.
  auto reports = host.Reports();
  ASSERT_EQ(reports.size(), 2u);
  std::sort(reports.begin(), reports.end(),
            [](const auto& x, const auto& y) { return x.station < y.station; });
  EXPECT_EQ(reports[0].station, "A");
  EXPECT_EQ(reports[0].bytes, "aaaaa");
  EXPECT_EQ(reports[1].station, "NEIGHBOUR");
  EXPECT_EQ(reports[1].bytes, "nnnnn");
  EXPECT_EQ(Count(W("Передача файла запроса: "_w) + (root / "n.txt") + W(" 7 байт для АЗС: NEIGHBOUR"_w)), 1);
  EXPECT_EQ(Count(W("Передача файла запроса: "_w) + (root / "a.txt") + W(" 300 байт для АЗС: A"_w)), 1);
}

TEST_F(OfficeReportTest, AnUnnamedStationAtAnUnknownAddressFallsBackToTheLatestStation) {
  StartListener();
  // A station that told no name, from an address the registry does not
  // know, takes LastStationName, which the test drives through the context.
  ListenerContext context = form->MakeListenerContext();
  context.host = [this] { return HostServices(&host); };
  context.find_name_by_ip = [](const std::string&) { return std::string(); };
  context.last_station_name = [] { return std::string("7"); };
  form->InstallReportCommands(context);
  OnWorker([&] {
    TcpConnection c = Station("");
    RawWrite(c, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(c), "No_zapros");
  });
  EXPECT_NE(LogFile().find(W(" - Не найдена АЗС, будет установлена последняя: 7\r\n"_w)), std::string::npos);
  EXPECT_EQ(Count(W("Не найдена АЗС, будет установлена последняя: 7"_w)), 0);  // the file only
}

// A request the office cannot send (its host fails, the file it names is
// gone) is answered as none, with the reason in the log: the station goes on
// to its next office, and the same connection can fetch the request later.
TEST_F(OfficeReportTest, ARequestTheOfficeCannotSendIsAnsweredNoZaprosAndTheConnectionGoesOn) {
  StartListener();
  const std::string gone = root / "gone.txt";
  OnWorker([&] {
    TcpConnection station = Station("12");
    host.FailWith("host is down");
    RawWrite(station, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(station), "No_zapros");
    EXPECT_FALSE(station.WaitReadable(100));  // exactly one line
    host.FailWith("");
    host.SetRequest("12", gone);
    RawWrite(station, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(station), "No_zapros");
    EXPECT_FALSE(station.WaitReadable(100));

    test::WriteFile(gone, "request");
    RawWrite(station, "TRY_GET_ZAPROS");
    EXPECT_EQ(RawLine(station), "OK");
    EXPECT_EQ(RawLine(station), "7");
    EXPECT_EQ(RawLine(station), "gone.txt");
    EXPECT_EQ(ReceiveSteps(station, 7, kAcknowledged), "request");
  });
  EXPECT_EQ(Count(W("Ошибка передачи файла: host is down"_w)), 1);
  EXPECT_EQ(Count(W("Ошибка передачи файла: Не найден файл: "_w) + gone), 1);
  ASSERT_TRUE(WaitFor(W("Файл запроса "_w) + gone + W(" передан успешно"_w)));
}

// ---- "Send_file" ----

class SendFileTest : public OfficeReportTest {
 protected:
  // The station's side of "Send_file" up to the end of the body.
  void Deliver(TcpConnection& station, const std::string& name_line, const std::string& body, Mode mode) {
    OnWorker([&] {
      RawWrite(station, "Send_file");
      EXPECT_EQ(RawLine(station), "OK");
      RawWrite(station, std::to_string(body.size()));
      RawWrite(station, name_line);
      SendSteps(station, body, mode);
    });
  }
  TcpConnection PumpedStation(const std::string& name) {
    return OnWorker([&] { return Station(name); });
  }
  std::string Office() const { return OfficeFolder(); }
};

TEST_F(SendFileTest, TheReportIsStoredUnderNameAndStationAndHandedToTheHostInBothModes) {
  for (const Mode mode : {kAcknowledged, kFast}) {
    SCOPED_TRACE(mode.packet);
    SetMode(mode);
    StartListener();
    TcpConnection station = PumpedStation("12");
    const std::string body = Pattern(mode.fast ? 512000 : 256);  // a multiple of B
    Deliver(station, "D:\\rep\\otchet.txt", body, mode);
    ASSERT_TRUE(WaitFor(W("Обработка принятого файла otchet_12.dat завершена!"_w), mode.fast ? 2 : 1));
    EXPECT_EQ(test::ReadFile(Office() + "otchet_12.dat") == body, true);
    const auto reports = host.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().station, "12");
    EXPECT_EQ(reports.back().path, Office() + "otchet_12.dat");
    EXPECT_EQ(reports.back().bytes == body, true);  // whole when handed
    EXPECT_EQ(Count(W("Идет прием файла otchet_12.dat ("_w) + std::to_string(body.size()) + W(" байт)"_w)), 1);
    EXPECT_EQ(Count(W("Обработка файла с АЗС: 12 Файл: "_w) + Office() + "otchet_12.dat"), mode.fast ? 2 : 1);
    station.Disconnect();
    ASSERT_TRUE(WaitFor(kDeparted, mode.fast ? 2 : 1));
    form->StopServer();
  }
  EXPECT_EQ(host.Reports().size(), 2u);  // the second replaced the first file
  EXPECT_EQ(FilesIn(Office()), std::vector<std::string>{"otchet_12.dat"});
}

TEST_F(SendFileTest, AnEmptyReportIsStoredButNotHandedAndAShortNameLeavesOnlyTheStation) {
  StartListener();
  TcpConnection station = PumpedStation("12");
  Deliver(station, "a.tx", "", kAcknowledged);  // four characters: nothing kept of it
  ASSERT_TRUE(WaitFor(W("Файл принят успешно (контрольная сумма в порядке)"_w)));
  EXPECT_TRUE(platform::FileExists(Office() + "_12.dat"));
  EXPECT_EQ(test::ReadFile(Office() + "_12.dat"), "");
  Deliver(station, "C:\\otchet.txt", "x", kAcknowledged);  // and the connection goes on
  ASSERT_TRUE(WaitFor(W("Обработка принятого файла otchet_12.dat завершена!"_w)));
  ASSERT_EQ(host.Reports().size(), 1u);  // only the non-empty one
  EXPECT_EQ(host.Reports()[0].path, Office() + "otchet_12.dat");
}

TEST_F(SendFileTest, NamesThatClimbOutOfTheFolderStayInsideItAndDeviceNamesAreRefused) {
  StartListener();
  TcpConnection station = PumpedStation("..\\..\\evil");
  Deliver(station, "../../up/otchet.txt", "body", kAcknowledged);
  ASSERT_TRUE(WaitFor(W("Обработка принятого файла otchet_.._.._evil.dat завершена!"_w)));
  EXPECT_EQ(test::ReadFile(Office() + "otchet_.._.._evil.dat"), "body");
  TcpConnection drive = PumpedStation("C:/x");
  Deliver(drive, "C:otchet.txt", "body", kAcknowledged);  // the colon would name a drive
  ASSERT_TRUE(WaitFor(W("Обработка принятого файла C_otchet_C__x.dat завершена!"_w)));

  // A name that would open a device is refused and its body not taken.
  OnWorker([&] {
    RawWrite(station, "Send_file");
    EXPECT_EQ(RawLine(station), "OK");
    RawWrite(station, "4");
    RawWrite(station, "NUL.txt.txt");
    EXPECT_TRUE(SeesClose(station));
  });
  ASSERT_TRUE(WaitFor(W("Файл отчета не принят: недопустимое имя файла NUL.txt_..\\..\\evil.dat"_w)));
  EXPECT_EQ(host.Reports().size(), 2u);
  EXPECT_EQ(FilesIn(Office()), (std::vector<std::string>{"C_otchet_C__x.dat", "otchet_.._.._evil.dat"}));
  // nothing beside (OfficeDB: the board of stations)
  EXPECT_EQ(FilesIn(root.path()), (std::vector<std::string>{"LogFiles", "OFFICE", "OfficeDB"}));
}

// A size line quotes itself in the error line: its control bytes cannot
// start a log line of their own.
TEST_F(SendFileTest, ASizeLineThatIsNoNumberCannotForgeALogLine) {
  StartListener();
  OnWorker([&] {
    TcpConnection station = Station("12");
    RawWrite(station, "Send_file");
    EXPECT_EQ(RawLine(station), "OK");
    RawWrite(station, "12x\r01.01.2001 00:00:00:000 - FORGED\x1B");
    EXPECT_TRUE(SeesClose(station));
  });
  ASSERT_TRUE(WaitFor(W("Ошибка приема файла: '12x\\x0D01.01.2001 00:00:00:000 - FORGED\\x1B' is not a valid integer value"_w)));
  EXPECT_EQ(FilesIn(Office()), std::vector<std::string>{});
}

TEST_F(SendFileTest, ACutOrStoppedReportIsNotHandedAndNotLeftOnDiskAndAHostErrorIsLogged) {
  StartListener();
  OnWorker([&] {
    TcpConnection station = Station("12");
    RawWrite(station, "Send_file");
    EXPECT_EQ(RawLine(station), "OK");
    RawWrite(station, "1000");
    RawWrite(station, "otchet.txt");
    station.Write(Pattern(128));
    EXPECT_EQ(ReadExactly(station, 4), Int4(1));
    station.Write(Pattern(50));
    station.Disconnect();
  });
  ASSERT_TRUE(WaitFor(kDeparted));
  EXPECT_EQ(Count(W("Ошибка приема файла: Connection Closed Gracefully."_w)), 1);
  EXPECT_TRUE(host.Reports().empty());
  EXPECT_EQ(FilesIn(Office()), std::vector<std::string>{});  // no file, no temporary

  // The operator stops the next one: nothing handed, nothing kept.
  ListenerContext stopping = form->MakeListenerContext();
  stopping.host = [this] { return HostServices(&host); };
  stopping.progress = [](const std::string&, std::int32_t, std::int32_t) {
    return std::make_unique<StopAfterFirstStep>();
  };
  form->InstallReportCommands(stopping);
  OnWorker([&] {
    TcpConnection station = Station("12");
    RawWrite(station, "Send_file");
    EXPECT_EQ(RawLine(station), "OK");
    RawWrite(station, "300");
    RawWrite(station, "otchet.txt");
    station.Write(Pattern(128));
    EXPECT_EQ(ReadExactly(station, 4), Int4(1));
    EXPECT_TRUE(SeesClose(station));  // a body stopped midway closes its connection
  });
  ASSERT_TRUE(WaitFor(W("Обмен данными прерван пользователем"_w)));
  ASSERT_TRUE(WaitFor(W("Файл принят (контрольная сумма НЕ в порядке)"_w)));
  EXPECT_TRUE(host.Reports().empty());
  EXPECT_EQ(FilesIn(Office()), std::vector<std::string>{});

  StartListener();
  host.FailWith("host is down");
  TcpConnection again = PumpedStation("12");
  Deliver(again, "otchet.txt", "whole", kAcknowledged);
  ASSERT_TRUE(WaitFor(W("Ошибка приема файла: host is down"_w)));
  EXPECT_EQ(test::ReadFile(Office() + "otchet_12.dat"), "whole");  // stored, the host failed
  host.FailWith("");
  OnWorker([&] {
    RawWrite(again, "TRY_GET_ZAPROS");  // the connection goes on
    EXPECT_EQ(RawLine(again), "No_zapros");
  });
}

// ---- the office's report request ----

class ReportRequestTest : public OfficeReportTest {
 protected:
  void SetUp() override {
    OfficeReportTest::SetUp();
    TheSettings().OutPort = listener.Port();
    test::WriteFile(request_path, Pattern(300));
    host.SetRequest(kStation, request_path);
  }

  ReportExchange Exchange() {
    ReportExchange exchange = form->MakeReportExchange();
    exchange.host = [this] { return HostServices(&host); };
    exchange.progress = NoProgressWindows();
    return exchange;
  }
  // One exchange as the window starts it, on a worker thread; the main
  // thread pumps until it has ended.
  void Run(const std::string& address_text) {
    WorkerThreads workers;
    StartReportExchange(workers, Exchange(), address_text);
    ASSERT_TRUE(ui::Dispatcher::instance().run_until([&] { return workers.Running() == 0; }, 30s));
  }

  // The station's listener up to the end of the request body, which it returns.
  std::string StationTakesRequest(TcpConnection& c, Mode mode, std::size_t size) {
    RawWrite(c, mode.fast ? "OKF" : "OK");
    RawWrite(c, kStation);
    EXPECT_EQ(RawLine(c), "NOPASS");
    RawWrite(c, "OK");
    EXPECT_EQ(RawLine(c), "GET_OTCHET");
    RawWrite(c, "OK");
    EXPECT_EQ(RawLine(c), std::to_string(size));
    EXPECT_EQ(RawLine(c), request_path);  // the full path, as the host gave it
    return ReceiveSteps(c, size, mode);
  }
  // A station that takes the request and answers with "hello" as otvet.txt.
  void StationAnswersHello() {
    auto peer = Accept();
    StationTakesRequest(*peer, kAcknowledged, 300);
    RawWrite(*peer, "Send_file");
    EXPECT_EQ(RawLine(*peer), "OK");
    RawWrite(*peer, "5");
    RawWrite(*peer, "otvet.txt");
    SendSteps(*peer, "hello", kAcknowledged);
    EXPECT_TRUE(SeesClose(*peer));
  }
  std::optional<TcpConnection> Accept() {
    auto c = listener.Accept(kWaitMs);
    c->SetReadTimeout(kWaitMs);
    return c;
  }
  std::vector<std::string> Opening() const {
    return {W("Соединение с интернет..."_w), W("Идет подключение к АЗС..."_w),
            W("Исходящее подключение установленно. АЗС: АЗС 12"_w)};
  }
  std::vector<std::string> RequestSent(std::size_t size) const {
    return {W("Передается файл-запрос: "_w) + request_path + " " + std::to_string(size) + W(" байт"_w),
            W("Файл запроса "_w) + request_path + W(" отправлен!"_w),
            test::DigestLine(Pattern(size), request_path),
            W("Обработка запроса на удаленной стороне..."_w)};
  }
  static std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  }

  test::ScopedLanConnection lan;
  platform::TcpListener listener{kHost, 0};
  const std::string kStation = W("АЗС 12"_w);
  const std::string request_path = root / "req12.txt";
  const std::string kCut = W("Разорвано исходящее соединение с АЗС"_w);
  const std::string kFailed = W("НЕУДАЧНЫЙ обмен данными с АЗС: 'АЗС 12'"_w);
};

TEST_F(ReportRequestTest, TheRoadOfOneReportInBothModes) {
  struct Case {
    Mode mode;
    std::size_t request, report;
  };
  for (const Case& c : {Case{kAcknowledged, 256, 0}, Case{kFast, 0, 512000}}) {
    SCOPED_TRACE(c.mode.packet);
    SetMode(c.mode);
    form->log.items.clear();
    const std::string request = Pattern(c.request), report = Pattern(c.report);
    test::WriteFile(request_path, request);
    auto station = std::async(std::launch::async, [&] {
      auto peer = Accept();
      const std::string got = StationTakesRequest(*peer, c.mode, c.request);
      RawWrite(*peer, "Send_file");
      EXPECT_EQ(RawLine(*peer), "OK");
      RawWrite(*peer, std::to_string(c.report));
      RawWrite(*peer, "C:\\KELD\\OFFICE\\otvet.txt");
      SendSteps(*peer, report, c.mode);
      EXPECT_TRUE(SeesClose(*peer));  // nothing more, then the office closes
      return got;
    });
    Run(W("127.0.0.1 - АЗС 12"_w));  // dials the address part alone
    EXPECT_EQ(station.get() == request, true);
    const std::string stored = OfficeFolder() + "otvet_127.0.0.1.dat";  // named after the address
    EXPECT_EQ(Lines(), Join({Opening(), RequestSent(c.request),
                             {W("Принимается ответ на файл-запрос: "_w) + stored + " " + std::to_string(c.report) + W(" байт"_w),
                              W("Файл принят успешно (контрольная сумма в порядке)"_w),
                              test::DigestLine(report, stored),
                              W("Обработка полученного файла..."_w), W("Обработка завершена!"_w),
                              W("Обмен данными с АЗС: 'АЗС 12' произошел УСПЕШНО!"_w), kCut}}));
    EXPECT_EQ(test::ReadFile(stored) == report, true);
    const auto reports = host.Reports();
    ASSERT_FALSE(reports.empty());  // an empty report is handed too
    EXPECT_EQ(reports.back().station, kStation);
    EXPECT_EQ(reports.back().path, stored);
    EXPECT_EQ(reports.back().bytes == report, true);
  }
}

TEST_F(ReportRequestTest, AStationThatClosesInsteadOfSendingItsReport) {
  auto station = std::async(std::launch::async, [&] {
    auto peer = Accept();
    StationTakesRequest(*peer, kAcknowledged, 300);
    peer->Disconnect();  // its host made no report
  });
  Run("127.0.0.1");
  station.get();
  EXPECT_EQ(Lines(), Join({Opening(), RequestSent(300),
                           {W("Файл отчета не подготовлен: Connection Closed Gracefully."_w), kFailed, kCut}}));
  EXPECT_TRUE(host.Reports().empty());
}

TEST_F(ReportRequestTest, AStationThatAnswersAfterTheRequestTimeOut) {
  TheSettings().ZaprosTimeOut = 300;
  auto station = std::async(std::launch::async, [&] {
    auto peer = Accept();
    StationTakesRequest(*peer, kAcknowledged, 300);
    EXPECT_TRUE(SeesClose(*peer));  // the office gave up first
    try {
      RawWrite(*peer, "Send_file");
    } catch (const Error&) {
    }
  });
  Run("127.0.0.1");
  station.get();
  // The time-out's own disconnect, then the exchange's; no summary line.
  EXPECT_EQ(Lines(), Join({Opening(), RequestSent(300),
                           {W("Запрос не обработан. Ошибка: TimeOut"_w), kCut, kCut}}));
}

TEST_F(ReportRequestTest, NoRequestFileAndAHostError) {
  host.SetRequest(kStation, "");
  auto station = std::async(std::launch::async, [&] {
    for (int i = 0; i < 2; ++i) {
      auto peer = Accept();
      RawWrite(*peer, "OK");
      RawWrite(*peer, kStation);
      EXPECT_EQ(RawLine(*peer), "NOPASS");
      RawWrite(*peer, "OK");
      EXPECT_TRUE(SeesClose(*peer));  // nothing but the handshake
    }
  });
  Run("127.0.0.1");
  EXPECT_EQ(Lines(), Join({Opening(), {W("Не найден файл запроса для АЗС: АЗС 12"_w), kCut}}));

  form->log.items.clear();
  host.FailWith("host is down");
  Run("127.0.0.1");
  station.get();
  // The host's error ends the exchange with the thread's line.
  EXPECT_EQ(Lines(), Join({Opening(), {W("Ошибка обмена информацией : host is down"_w)}}));
}

TEST_F(ReportRequestTest, AStopClosesTheExchangesSocketAndTheThreadEnds) {
  auto station = std::async(std::launch::async, [&] {
    auto peer = Accept();
    StationTakesRequest(*peer, kAcknowledged, 300);
    EXPECT_TRUE(SeesClose(*peer));  // never answers; the stop closes
  });
  WorkerThreads workers;
  StartReportExchange(workers, Exchange(), "127.0.0.1");
  ASSERT_TRUE(WaitFor(W("Обработка запроса на удаленной стороне..."_w)));
  EXPECT_TRUE(workers.StopAll(10s));  // long before ZaprosTimeOut
  station.get();
  EXPECT_EQ(Count(kFailed), 1);
}

TEST_F(ReportRequestTest, TheButtonStartsTheExchangeWithTheBoxsTextAndIsEnabledAgainAtOnce) {
  State().host.emplace(&host);
  auto station = std::async(std::launch::async, [&] {
    StationAnswersHello();
  });
  form->cb_IP.caption = W("127.0.0.1 - АЗС 12"_w);
  form->BitBtn1Click();
  EXPECT_TRUE(form->BitBtn1.enabled);
  EXPECT_EQ(form->cb_IP.items.front(), W("127.0.0.1 - АЗС 12"_w));  // remembered
  form->cb_IP.caption = "10.9.9.9";  // a later edit does not reach the running exchange
  ASSERT_TRUE(WaitFor(W("Обмен данными с АЗС: 'АЗС 12' произошел УСПЕШНО!"_w)));
  EXPECT_TRUE(State().workers.StopAll(10s));
  station.get();
  EXPECT_EQ(test::ReadFile(OfficeFolder() + "otvet_127.0.0.1.dat"), "hello");
  State().host.reset();
}

// The window "Станции" from the board's first sight of a station to its
// report: the selected station is asked on the office window's road, and
// the board, read afresh, shows what came and the log lines that name it.
TEST_F(ReportRequestTest, TheStationsWindowAsksTheSelectedStationAndTheBoardShowsWhatCame) {
  State().host.emplace(&host);
  TheSettings().ReportDeadline.set("00:00");
  form->board().Contact(kStation, "127.0.0.1");
  form->StationsClick();
  TStationsForm& stations = form->stations();
  EXPECT_TRUE(stations.visible);
  ASSERT_EQ(stations.StationList.rows.get().size(), 1u);
  EXPECT_EQ(stations.StationList.rows.get()[0].texts[0], kStation);
  EXPECT_EQ(stations.StationList.rows.get()[0].texts[2], "!") << "no report since midnight";

  stations.RequestBtnClick();  // nothing selected: nothing asked
  EXPECT_EQ(State().workers.Running(), 0u);
  auto station = std::async(std::launch::async, [&] {
    StationAnswersHello();
  });
  stations.StationList.item_index = 0;
  stations.RequestBtnClick();
  EXPECT_EQ(form->cb_IP.caption.get(), W("127.0.0.1 - АЗС 12"_w));
  ASSERT_TRUE(WaitFor(W("Обмен данными с АЗС: 'АЗС 12' произошел УСПЕШНО!"_w)));
  EXPECT_TRUE(State().workers.StopAll(10s));
  station.get();

  stations.RefreshBtnClick();
  ASSERT_EQ(stations.StationList.rows.get().size(), 1u);
  EXPECT_EQ(stations.StationList.item_index.get(), 0) << "still selected";
  const std::vector<std::string> row = stations.StationList.rows.get()[0].texts;
  EXPECT_EQ(row[2], "") << "reported";
  EXPECT_EQ(row[5], "otvet_127.0.0.1.dat");
  EXPECT_EQ(row[6], "5");
  EXPECT_EQ(row[8].size(), 64u);
  EXPECT_NE(test::DigestLine("hello", "x").find(row[8]), std::string::npos) << "the digest of what came";
  EXPECT_EQ(row[10], "req12.txt");
  EXPECT_EQ(row[12], "2") << "a request sent and a report stored today";
  EXPECT_EQ(row[13], "0");

  stations.LogBtnClick();
  const std::vector<std::string> lines = stations.LogLines.lines;
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find(W("Обмен данными с АЗС: 'АЗС 12' произошел УСПЕШНО!"_w)) != std::string::npos;
  }));
  State().host.reset();
}

TEST(StationLogLines, NameTheStationOrComeFromItsAddressAlone) {
  const std::string log =
      "a - from 10.0.0.1\r\nb - from 10.0.0.15\r\nc - for North\r\nd - for South\nd - 10.0.0.1:6090\r\n";
  EXPECT_EQ(StationLogLines(log, "North", "10.0.0.1"),
            (std::vector<std::string>{"a - from 10.0.0.1", "c - for North", "d - 10.0.0.1:6090"}));
  EXPECT_TRUE(StationLogLines(log, "", "").empty());
}

}  // namespace
}  // namespace pw::office
