// The report exchange the office starts ("GET_OTCHET": request file out,
// report back, stored at the office) between a real office exchange and a
// real station listener, under injected faults: every file call at either
// end failing in turn, and the connection cut after every byte of the
// handshake and the lines and at the start, middle and end of both bodies.
// After each: both stored files still the older ones, no temporary beside
// them, the failing step's own error line, and the station serving the next
// exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "cut_proxy.h"
#include "fault_walk.h"
#include "main_thread_pump.h"
#include "office/inet_office_form.h"
#include "office/report_request.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "station/report_request_service.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "window_log.h"
#include "wire_bytes.h"
#include "sync/mutex.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using platform::FileCall;
using test::CutProxy;
using test::kWaitMs;

constexpr auto kPumpLimit = 20s;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

using test::EndsWith;
using test::StartsWith;
int CountStarting(const ui::ListBox& log, const std::string& prefix) {
  int n = 0;
  for (const std::string& l : test::LogLines(log)) n += StartsWith(l, prefix);
  return n;
}
std::string LastStarting(const ui::ListBox& log, const std::string& prefix) {
  std::string last;
  for (const std::string& l : test::LogLines(log))
    if (StartsWith(l, prefix)) last = l;
  return last;
}

// Both hosts in one: the station's name and its report, the office's
// request, and the reports the office handed on.
class Host : public PwHostServices {
 public:
  Host(std::string request, std::string report)
      : PwHostServices{&kVtbl}, request_(std::move(request)), report_(std::move(report)) {}
  int Handed() {
    MutexLock lock(mu_);
    return handed_;
  }

 private:
  static Host& Self(PwHostServices* s) { return *static_cast<Host*>(s); }
  static PwError PW_CALL Version(PwHostServices*, int32_t* v) {
    *v = 4;
    return nullptr;
  }
  static PwError PW_CALL OwnName(PwHostServices*, const char** name) {
    static const std::string kName = W("АЗС 3"_w);
    *name = kName.c_str();
    return nullptr;
  }
  static PwError PW_CALL Process(PwHostServices* s, const char*, const char** report) {
    *report = Self(s).report_.c_str();
    return nullptr;
  }
  static PwError PW_CALL Request(PwHostServices* s, const char*, const char** request) {
    *request = Self(s).request_.c_str();
    return nullptr;
  }
  static PwError PW_CALL Report(PwHostServices* s, const char*, const char*, const char**) {
    MutexLock lock(Self(s).mu_);
    ++Self(s).handed_;
    return nullptr;
  }
  static constexpr PwHostServicesVtbl kVtbl = {Version, OwnName, nullptr, Process, Request, nullptr,
                                               Report,  nullptr, nullptr, nullptr, nullptr, nullptr,
                                               nullptr};
  const std::string request_, report_;
  Mutex mu_;
  int handed_ GUARDED_BY(mu_) = 0;
};

struct NoProgress : protocol::TransferProgress {
  void Step(std::int32_t) override {}
  bool StopRequested() const override { return false; }
  bool TakeStop() override { return false; }
};
protocol::ProgressFactory NoProgressWindows() {
  return [](const std::string&, std::int32_t, std::int32_t) { return std::make_unique<NoProgress>(); };
}

class ReportExchangeFaults : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    TheSettings().InPort = 0;
    TheSettings().ReadTimeOut = kWaitMs;
    TheSettings().ConnectTimeOut = kWaitMs;
    TheSettings().ZaprosTimeOut = kWaitMs;
    TheSettings().useFastDatTravel = true;  // no acknowledgements: the bytes run one way at a time
    TheSettings().InetBuffSize = 4096;
    platform::CreateDirectories(CurrentFolders().log_files);
    platform::CreateDirectories(station_folder);
    platform::CreateDirectories(office_folder);
    test::WriteFile(request_path, request);
    test::WriteFile(report_path, report);
    State().host.emplace(&host);

    station = std::make_unique<station::TInetForm>(State());
    station->local_addresses = [] { return std::vector<std::string>{test::kLoopback}; };
    station->IdTCPServer1.SetHandler("GET_OTCHET", [this](protocol::Session& session) {
      station::ReportRequestService service = station->ReportRequestSetup();
      service.progress = NoProgressWindows();
      service.folder = station_folder;
      ServeReportRequest(session, service);
    });
    station->RunServer();
    office = std::make_unique<office::TInetOfficeForm>(State());
    SeedOlderFiles();
  }
  void TearDown() override {
    office.reset();
    station.reset();
  }

  void SeedOlderFiles() {
    test::WriteFile(station_folder + kStoredRequest, "older");
    test::WriteFile(office_folder + kStoredReport, "older");
  }

  // One exchange as the office's thread runs it, to port; pumps until the
  // station has ended its side too.
  void Exchange(int port) {
    office::ReportExchange exchange = office->MakeReportExchange();
    exchange.host = [this] { return HostServices(&host); };
    exchange.progress = NoProgressWindows();
    exchange.folder = office_folder;
    exchange.out_port = port;
    test::OnWorker(
        [&] {
          protocol::Session session;
          office::RunReportExchange(session, exchange, test::kLoopback);
        },
        kPumpLimit);
    ++station_ends;
    ASSERT_TRUE(ui::Dispatcher::instance().run_until(
        [&] { return CountStarting(station->log, kStationEnd) >= station_ends; }, kPumpLimit));
  }

  // The windows keep their last few thousand lines, which a long walk
  // passes: each run is counted from empty lists.
  void FreshLists() {
    office->log.items.clear();
    station->log.items.clear();
    station_ends = 0;
  }

  // The station still serves a whole exchange; the older files go back.
  void ExpectServing() {
    const int done = CountStarting(office->log, kSuccess);
    const int handed = host.Handed();
    Exchange(station->IdTCPServer1.Port());
    EXPECT_EQ(CountStarting(office->log, kSuccess), done + 1);
    EXPECT_EQ(host.Handed(), handed + 1);
    EXPECT_TRUE(test::ReadFile(station_folder + kStoredRequest) == request);
    EXPECT_TRUE(test::ReadFile(office_folder + kStoredReport) == report);
    SeedOlderFiles();
  }
  // request_stored: the station had the whole request before the fault;
  // it keeps it (a whole file), else the older one.
  void ExpectOlderFilesAlone(bool request_stored) {
    const std::string stored_request = test::ReadFile(station_folder + kStoredRequest);
    if (request_stored)
      EXPECT_TRUE(stored_request == request);
    else
      EXPECT_EQ(stored_request.substr(0, 40), "older");
    EXPECT_EQ(test::ReadFile(office_folder + kStoredReport).substr(0, 40), "older");
    EXPECT_EQ(test::FilesIn(station_folder), std::vector<std::string>{kStoredRequest});
    EXPECT_EQ(test::FilesIn(office_folder), std::vector<std::string>{kStoredReport});
  }

  // Walks the file calls under folder; a failure is logged by log with a
  // line starting with prefix.
  void WalkFileCalls(const std::string& folder, const ui::ListBox& log, const std::string& prefix,
                     bool request_stored) {
    const test::FileCallCounts counts =
        test::CountFileCalls(folder, [&] { Exchange(station->IdTCPServer1.Port()); });
    EXPECT_EQ(counts, (test::FileCallCounts{1, 2, 1, 1}));  // 50 000 bytes in 32 KiB pieces
    SeedOlderFiles();
    int errors = CountStarting(log, prefix);
    int failed = CountStarting(office->log, kFailed);
    const int runs = test::WalkFileFaults(
        folder, counts, [&] { Exchange(station->IdTCPServer1.Port()); },
        [&](FileCall call, std::uint64_t n) {
          SCOPED_TRACE(std::string(test::CallName(call)) + " #" + std::to_string(n));
          ASSERT_EQ(CountStarting(log, prefix), ++errors);
          EXPECT_TRUE(EndsWith(LastStarting(log, prefix),
                               ": " + test::InjectedFailureText(call, root.path())))
              << LastStarting(log, prefix);
          EXPECT_EQ(CountStarting(office->log, kFailed), ++failed);
          ExpectOlderFilesAlone(request_stored);
          ExpectServing();
          FreshLists();
          errors = failed = 0;
        });
    EXPECT_EQ(runs, 5);
  }

  const std::string request = test::Pattern(50000);
  const std::string report = test::Pattern(50001);
  test::TempFolder root;
  const std::string station_folder = root / "station/";
  const std::string office_folder = root / "office/";
  const std::string request_path = root / "request.txt";
  const std::string report_path = root / "report.txt";
  const std::string kStoredRequest = "request.txt_z";
  const std::string kStoredReport = "report_127.0.0.1.dat";
  const std::string kStationEnd = W("Входящее подключение разорванно, IP: "_w);
  const std::string kSuccess = W("Обмен данными с АЗС: 'АЗС 3' произошел УСПЕШНО!"_w);
  const std::string kFailed = W("НЕУДАЧНЫЙ обмен данными с АЗС: 'АЗС 3'"_w);
  const std::string kRequestNotTaken = W("Не удалось принять файл запроса:   "_w);
  const std::string kReportNotTaken = W("Файл отчета не принят: "_w);
  Host host{request_path, report_path};
  std::unique_ptr<station::TInetForm> station;
  std::unique_ptr<office::TInetOfficeForm> office;
  int station_ends = 0;
};

TEST_F(ReportExchangeFaults, EveryFailingFileCallWhereTheStationStoresTheRequest) {
  WalkFileCalls(station_folder, station->log, kRequestNotTaken, /*request_stored=*/false);
}

TEST_F(ReportExchangeFaults, EveryFailingFileCallWhereTheOfficeStoresTheReport) {
  WalkFileCalls(office_folder, office->log, kReportNotTaken, /*request_stored=*/true);
}

TEST_F(ReportExchangeFaults, ACutAtAnyByteKeepsTheOlderFilesAndTheStationServes) {
  std::int64_t total = 0;
  {
    CutProxy proxy(station->IdTCPServer1.Port(), CutProxy::Counted::kBoth, CutProxy::kNever);
    Exchange(proxy.Port());
    ASSERT_TRUE(proxy.WaitAllEnded(kWaitMs));
    total = proxy.ToListener() + proxy.ToClient();
  }
  ASSERT_EQ(CountStarting(office->log, kSuccess), 1);
  SeedOlderFiles();
  // The road backwards from the end: the report's body, the lines before it
  // ("Send_file", "OK", size, path), the request's body, the lines before
  // it ("GET_OTCHET", "OK", size, path); the handshake is what is left.
  const auto line = [](const std::string& text) { return static_cast<std::int64_t>(text.size() + 2); };
  const std::int64_t report_start = total - static_cast<std::int64_t>(report.size());
  const std::int64_t request_end = report_start - line("Send_file") - line("OK") -
                                   line(std::to_string(report.size())) - line(report_path);
  const std::int64_t request_start = request_end - static_cast<std::int64_t>(request.size());
  const std::int64_t handshake = request_start - line("GET_OTCHET") - line("OK") -
                                 line(std::to_string(request.size())) - line(request_path);
  const std::vector<std::int64_t> cuts =
      test::CutPoints(total, {{request_start, request_end}, {report_start, total}});
  for (const std::int64_t cut : cuts) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(total) + " bytes");
    FreshLists();
    const int connect_errors = CountStarting(office->log, W("Ошибка при подключении к АЗС: "_w));
    const int failed = CountStarting(office->log, kFailed);
    const int request_errors = CountStarting(station->log, kRequestNotTaken);
    const int report_errors = CountStarting(office->log, kReportNotTaken);
    {
      CutProxy proxy(station->IdTCPServer1.Port(), CutProxy::Counted::kBoth, cut);
      Exchange(proxy.Port());
      ASSERT_TRUE(proxy.WaitAllEnded(kWaitMs));
    }
    // A cut before the greeting may be seen as the station's close before
    // anything is read: the exchange then ends without a line of its own.
    if (cut > 0 && cut < handshake) {
      EXPECT_EQ(CountStarting(office->log, W("Ошибка при подключении к АЗС: "_w)), connect_errors + 1);
    } else if (cut >= handshake) {
      EXPECT_EQ(CountStarting(office->log, kFailed), failed + 1);
    }
    if (cut > request_start && cut < request_end) {
      EXPECT_EQ(CountStarting(station->log, kRequestNotTaken), request_errors + 1);
    }
    if (cut > report_start) {
      EXPECT_EQ(CountStarting(office->log, kReportNotTaken), report_errors + 1);
    }
    // The station stores the request as soon as its last byte is in.
    ExpectOlderFilesAlone(cut >= request_end);
    ExpectServing();
  }
  EXPECT_GT(cuts.size(), 100u);
}

}  // namespace
}  // namespace pw
