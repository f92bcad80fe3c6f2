// The station's side of the report exchange over real sockets on loopback:
// the listener's "GET_OTCHET" against a scripted office, and the station's
// own exchange (MyTthread, PrepareAndSendOtchet) against a scripted office
// listener, in both transfer modes. The test thread is the main thread and
// pumps whenever it waits, as the host's user-interface thread would.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>

#include "digest_line.h"
#include "fake_dial_up.h"
#include "raw_peer.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "services/folders.h"
#include "shell/plugin_state.h"
#include "services/settings.h"
#include "station/inet_form.h"
#include "station/report_exchange.h"
#include "station/report_request_service.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "sync/mutex.h"

namespace pw::station {
namespace {

using namespace std::chrono_literals;
using platform::TcpConnection;
using platform::TcpListener;
using test::kWaitMs;
using test::RawLine;
using test::RawWrite;
using test::SeesClose;

constexpr const char* kHost = test::kLoopback;
constexpr auto kPumpLimit = 20s;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

// A body of n bytes that shows a shifted or lost step.
std::string Body(std::size_t n) {
  std::string b(n, '\0');
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return b;
}

void RawInt4(TcpConnection& c, std::int32_t v) {
  const unsigned char b[4] = {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                              static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
  c.WriteAll(b, 4);
}
std::int32_t RawReadInt4(TcpConnection& c) {
  unsigned char b[4];
  c.ReadExact(b, 4);
  return static_cast<std::int32_t>((std::uint32_t{b[0]} << 24) | (b[1] << 16) | (b[2] << 8) | b[3]);
}

// The office's side of a framed body: steps of B bytes and the short last
// one (empty for a multiple of B); acknowledgements after every step unless
// fast. The sender returns the acknowledgements it read.
std::vector<std::int32_t> RawSendBody(TcpConnection& c, const std::string& body, int b, bool fast) {
  std::vector<std::int32_t> acks;
  const std::size_t n = body.size() / b;
  for (std::size_t i = 1; i <= n + 1; ++i) {
    const std::size_t from = (i - 1) * b;
    const std::size_t count = i <= n ? b : body.size() - from;
    if (count > 0) c.WriteAll(body.data() + from, count);
    if (!fast) acks.push_back(RawReadInt4(c));
  }
  return acks;
}
std::string RawReceiveBody(TcpConnection& c, std::int32_t size, int b, bool fast) {
  std::string body(static_cast<std::size_t>(size), '\0');
  const std::int32_t n = size / b;
  for (std::int32_t i = 1; i <= n + 1; ++i) {
    const std::size_t count = i <= n ? b : size - (i - 1) * b;
    if (count > 0) c.ReadExact(body.data() + static_cast<std::size_t>(i - 1) * b, count);
    if (!fast) RawInt4(c, i);
  }
  return body;
}
std::vector<std::int32_t> Steps(std::int32_t size, int b) {
  std::vector<std::int32_t> v;
  for (std::int32_t i = 1; i <= size / b + 1; ++i) v.push_back(i);
  return v;
}

// The station host: its name, and a scripted answer to ProcessRequestFile.
class ScriptedHost : public PwHostServices {
 public:
  ScriptedHost() : PwHostServices{&kVtbl} {}
  // Request path in, report path out ("" = none); a throw is the host's error.
  std::function<std::string(const std::string&)> process = [](const std::string&) { return ""; };
  std::vector<std::string> Requests() {
    MutexLock lock(mu_);
    return requests_;
  }

 private:
  static ScriptedHost& Self(PwHostServices* s) { return *static_cast<ScriptedHost*>(s); }
  static const char* Keep(std::string text) {
    thread_local std::string kept;
    kept = std::move(text);
    return kept.c_str();
  }
  static PwError PW_CALL Version(PwHostServices*, int32_t* v) {
    *v = 4;
    return nullptr;
  }
  static PwError PW_CALL OwnName(PwHostServices*, const char** name) {
    *name = Keep(W("АЗС 3"_w));
    return nullptr;
  }
  static PwError PW_CALL Process(PwHostServices* s, const char* request, const char** report) {
    ScriptedHost& self = Self(s);
    {
      MutexLock lock(self.mu_);
      self.requests_.push_back(request);
    }
    try {
      *report = Keep(self.process(request));
      return nullptr;
    } catch (const std::exception& e) {
      return Keep(e.what());
    }
  }
  static constexpr PwHostServicesVtbl kVtbl = {Version, OwnName, nullptr, Process, nullptr, nullptr,
                                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                               nullptr};
  Mutex mu_;
  std::vector<std::string> requests_ GUARDED_BY(mu_);
};

class StationExchangeTest : public ::testing::Test {
 protected:
  test::ScopedLanConnection lan;
  void SetUp() override {
    ui::Dispatcher::instance().attach_main_thread();
    TheSettings().Reset();
    TheSettings().InPort = 0;
    TheSettings().ReadTimeOut = kWaitMs;
    TheSettings().ConnectTimeOut = kWaitMs;
    platform::CreateDirectories(CurrentFolders().log_files);
    platform::CreateDirectories(OfficeFolder());
    State().host.emplace(&host);
    State().AutoMode = false;
    form = std::make_unique<TInetForm>(State());
    form->local_addresses = [] { return std::vector<std::string>{kHost}; };
    ui::Operator::instance().SetObserver(
        [this](const std::string& caption, const std::string& text, ui::Answer) {
          boxes.push_back(caption + "|" + text);
        });
    report_path = root / "report.dat";
  }
  void TearDown() override {
    EXPECT_TRUE(State().workers.StopAll(kPumpLimit));
    form.reset();
    ui::Operator::instance().SetObserver(nullptr);
    ui::Operator::instance().ClearAnswers();
    State().host.reset();
    State().AutoMode = false;
    TheSettings().Reset();
    ui::Dispatcher::instance().detach_main_thread();
  }

  void SetMode(bool fast, int b) {
    TheSettings().useFastDatTravel = fast;
    TheSettings().InetBuffSize = b;
  }

  // Runs fn on a thread of its own while the main thread pumps.
  template <class Fn>
  auto OnWorker(Fn fn) {
    std::packaged_task<decltype(fn())()> task(std::move(fn));
    auto result = task.get_future();
    std::thread worker([&] {
      task();
      ui::Dispatcher::instance().wake();
    });
    EXPECT_TRUE(ui::Dispatcher::instance().run_until(
        [&] { return result.wait_for(0s) == std::future_status::ready; }, kPumpLimit));
    worker.join();
    return result.get();
  }
  bool PumpUntil(const std::function<bool()>& done) {
    return ui::Dispatcher::instance().run_until(done, kPumpLimit);
  }
  bool ExchangesEnded() {
    return PumpUntil([] { return State().workers.Running() == 0; });
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const std::string& item : form->log.items) out.push_back(item.substr(10));
    return out;
  }
  int Count(std::string_view line) const {
    const std::vector<std::string> lines = Lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }
  std::ptrdiff_t IndexOf(std::string_view line, int nth = 1) const {
    const std::vector<std::string> lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i] == line && --nth == 0) return static_cast<std::ptrdiff_t>(i);
    return -1;
  }

  // An office connection to the station listener, past the handshake.
  TcpConnection OfficeToStation(int port, bool fast) {
    TcpConnection c = TcpConnection::Connect(kHost, port, kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), fast ? "OKF" : "OK");
    EXPECT_EQ(RawLine(c), W("АЗС 3"_w));
    RawWrite(c, "NOPASS");
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  }
  // The office listener's side of one station session, up to the command.
  std::string StationSession(TcpListener& office, bool fast, TcpConnection& c) {
    std::optional<TcpConnection> accepted = office.Accept(kWaitMs);
    EXPECT_TRUE(accepted);
    if (!accepted) return {};
    c = std::move(*accepted);
    c.SetReadTimeout(kWaitMs);
    RawWrite(c, fast ? "OKF" : "OK");
    std::string seen = RawLine(c);
    seen += "|" + RawLine(c);
    RawWrite(c, "OK");
    seen += "|" + RawLine(c);
    return seen;
  }

  std::string Connecting(int port) const {
    return W("Исходящее подключение к офису: 127.0.0.1("_w) + std::to_string(port) + ")";
  }

  test::TempFolder root;
  ScriptedHost host;
  std::unique_ptr<TInetForm> form;
  std::vector<std::string> boxes;
  // The office pushes an empty request; true when the station then closes
  // the connection instead of answering "Send_file".
  bool EmptyRequestSeesClose(int port) {
    TcpConnection c = OfficeToStation(port, false);
    RawWrite(c, "GET_OTCHET");
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, "0");
    RawWrite(c, "req.dat");
    RawSendBody(c, "", 128, false);
    return SeesClose(c);
  }
  std::string report_path;
};

const std::string kIncoming = W("Устанавливается входящее соединение..."_w);
const std::string kAccepted =
    W("Входящее соединение установленно, IP: 127.0.0.1. Пароль верен или не установлен"_w);
const std::string kEnded = W("Входящее подключение разорванно, IP: 127.0.0.1"_w);
const std::string kConnected = W("Исходящее подключение установленно"_w);
const std::string kDisconnected = W("Исходящее подключение разорвано"_w);
const std::string kNotSent = W("Отчет не отправлен!"_w);
const std::string kSent = W("Передача отчета произведена успешно!"_w);

// ---- the listener's "GET_OTCHET" --------------------------------------------

struct Shape {
  bool fast;
  int b;
  std::size_t request;
  std::size_t report;
};

std::string ShapeName(const ::testing::TestParamInfo<Shape>& info) {
  const Shape& s = info.param;
  return std::string(s.fast ? "Fast" : "Acked") + "B" + std::to_string(s.b) + "Request" +
         std::to_string(s.request) + "Report" + std::to_string(s.report);
}

class GetOtchetTest : public StationExchangeTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(GetOtchetTest, RequestInReportBackByteExact) {
  const Shape shape = GetParam();
  SetMode(shape.fast, shape.b);
  const std::string request = Body(shape.request);
  const std::string report = Body(shape.report + 3).substr(3);
  test::WriteFile(report_path, report);
  host.process = [&](const std::string&) { return report_path; };
  form->RunServer();
  const int port = form->IdTCPServer1.Port();

  struct Seen {
    std::vector<std::int32_t> request_acks;
    std::string size, path, body;
    bool closed = false;
  };
  const Seen seen = OnWorker([&] {
    Seen s;
    TcpConnection c = OfficeToStation(port, shape.fast);
    RawWrite(c, "GET_OTCHET");
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, std::to_string(request.size()));
    RawWrite(c, "C:\\KELD\\z\\req.dat");  // the office's own path: only the name counts
    s.request_acks = RawSendBody(c, request, shape.b, shape.fast);
    EXPECT_EQ(RawLine(c), "Send_file");
    RawWrite(c, "OK");
    s.size = RawLine(c);
    s.path = RawLine(c);
    s.body = RawReceiveBody(c, std::stoi(s.size), shape.b, shape.fast);
    c.Disconnect();  // the office closes
    return s;
  });
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 1; }));

  const std::string stored = OfficeFolder() + "req.dat_z";
  EXPECT_EQ(seen.request_acks, shape.fast ? std::vector<std::int32_t>{} : Steps(request.size(), shape.b));
  EXPECT_EQ(test::ReadFile(stored), request);
  EXPECT_EQ(host.Requests(), std::vector<std::string>{stored});
  EXPECT_EQ(seen.size, std::to_string(report.size()));
  EXPECT_EQ(seen.path, report_path);
  EXPECT_TRUE(seen.body == report);
  const std::string size = std::to_string(report.size());
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         W("Сервер входящих подключений запущен"_w), kIncoming, kAccepted,
                         W("Прием файла запроса: "_w) + stored + " " + std::to_string(request.size()) + W(" байт"_w),
                         W("Файл запроса успешно принят (контрольная сумма верная)"_w),
                         test::DigestLine(request, stored),
                         W("Обработка принятого файла: "_w) + stored,
                         W("Отправка файла-ответа на запрос: "_w) + report_path,
                         W("Передается файл: "_w) + report_path + " " + size + W(" байт"_w),
                         W("Файл "_w) + report_path + W(" отправлен!"_w),
                         test::DigestLine(report, report_path), kEnded}));
}

INSTANTIATE_TEST_SUITE_P(Modes, GetOtchetTest,
                         ::testing::Values(Shape{false, 128, 300, 256},      // acknowledged, r > 0 then S = 2B
                                           Shape{false, 128, 0, 0},          // S = 0 both ways
                                           Shape{true, 256000, 512000, 0},   // fast, S = 2B
                                           Shape{true, 256000, 300, 256000}  // fast, report S = B
                                           ),
                         ShapeName);

TEST_F(StationExchangeTest, GetOtchetWithoutAReportOrWithACutRequestCloses) {
  form->RunServer();
  const int port = form->IdTCPServer1.Port();
  const std::string stored = OfficeFolder() + "req.dat_z";

  // The host makes no report: the office sees the close instead of "Send_file".
  const bool closed = OnWorker([&] {
    TcpConnection c = OfficeToStation(port, false);
    RawWrite(c, "GET_OTCHET");
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, "300");
    RawWrite(c, "/office/z/req.dat");
    RawSendBody(c, Body(300), 128, false);
    return SeesClose(c);
  });
  EXPECT_TRUE(closed);
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 1; }));
  EXPECT_EQ(host.Requests().size(), 1u);
  EXPECT_EQ(Lines()[Lines().size() - 2], W("Файл ответа НЕ подготовлен"_w));

  // A request cut short: nothing stored, nothing handed to the host.
  std::filesystem::remove(stored);
  OnWorker([&] {
    TcpConnection c = OfficeToStation(port, false);
    RawWrite(c, "GET_OTCHET");
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, "300");
    RawWrite(c, "req2.dat");
    c.Write(Body(128));
    EXPECT_EQ(RawReadInt4(c), 1);
    c.Write(Body(50));
    c.Disconnect();
    return true;
  });
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 2; }));
  EXPECT_EQ(host.Requests().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(OfficeFolder() + "req2.dat_z"));
  EXPECT_EQ(Lines()[Lines().size() - 2],
            W("Не удалось принять файл запроса:   Connection Closed Gracefully."_w));

  // A host error ends the command with its line; the listener goes on.
  host.process = [](const std::string&) -> std::string { throw std::runtime_error("host down"); };
  EXPECT_TRUE(OnWorker([&] { return EmptyRequestSeesClose(port); }));
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 3; }));
  EXPECT_EQ(Lines()[Lines().size() - 2], W("Ошибка обработки файла запроса: host down"_w));

  // A report the host names but that cannot be read is not announced as an
  // empty one: the office sees the close instead of "Send_file".
  host.process = [&](const std::string&) { return root / "no-such-report.dat"; };
  EXPECT_TRUE(OnWorker([&] { return EmptyRequestSeesClose(port); }));
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 4; }));
  EXPECT_EQ(Lines()[Lines().size() - 2], W("Не возможно отослать файл: Не найден файл: "_w) + root / "no-such-report.dat");

  // A size line that is not a number: shown to the operator, then closed.
  EXPECT_TRUE(OnWorker([&] {
    TcpConnection c = OfficeToStation(port, false);
    RawWrite(c, "GET_OTCHET");
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, "abc");
    return SeesClose(c);
  }));
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 5; }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].front(), '|');
  EXPECT_TRUE(form->IdTCPServer1.Active());
}

// The stored name (name + "_z") is what must be a plain file name: a device
// name alone becomes an ordinary file once "_z" follows it, a trailing dot
// no longer ends the name.
TEST_F(StationExchangeTest, GetOtchetNamesAreCheckedAsStoredAndNeverLeaveTheOfficeFolder) {
  form->RunServer();
  const int port = form->IdTCPServer1.Port();
  const std::vector<const char*> paths = {"C:\\x\\..", "\\\\server\\share\\nul.TXT", "dir/c:evil",
                                          "\\\\server\\share\\CON", "z\\abc.", "com1"};
  for (const char* path : paths) {
    OnWorker([&] {
      TcpConnection c = OfficeToStation(port, false);
      RawWrite(c, "GET_OTCHET");
      EXPECT_EQ(RawLine(c), "OK");
      RawWrite(c, "4");
      RawWrite(c, path);
      try {
        RawSendBody(c, "abcd", 128, false);
      } catch (const std::exception&) {
        // A refused name: the station may close before the body is in.
      }
      return SeesClose(c);
    });
  }
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == static_cast<int>(paths.size()); }));
  EXPECT_EQ(Count(W("Недопустимое имя файла запроса, файл не принят: nul.TXT"_w)), 1);
  EXPECT_EQ(Count(W("Недопустимое имя файла запроса c:evil заменено на c_evil_z"_w)), 1);
  const std::vector<std::string> stored = {".._z", "c_evil_z", "CON_z", "abc._z", "com1_z"};
  std::vector<std::string> expected;
  for (const std::string& name : stored) {
    expected.push_back(OfficeFolder() + name);
    EXPECT_EQ(test::ReadFile(OfficeFolder() + name), "abcd") << name;
  }
  EXPECT_EQ(host.Requests(), expected);
}

// A progress window whose operator presses Stop after the first step of
// the transfer whose caption starts with stop_prefix.
class StoppingProgress : public protocol::TransferProgress {
 public:
  explicit StoppingProgress(bool stops) : stops_(stops) {}
  void Step(std::int32_t done) override { stop_ = stops_ && done >= 2; }
  bool StopRequested() const override { return stop_; }
  bool TakeStop() override { return std::exchange(stop_, false); }

 private:
  bool stops_;
  bool stop_ = false;
};
protocol::ProgressFactory StopAfterFirstStep(std::string stop_prefix) {
  return [stop_prefix](const std::string& caption, std::int32_t, std::int32_t) {
    return std::make_unique<StoppingProgress>(caption.rfind(stop_prefix, 0) == 0);
  };
}

TEST_F(StationExchangeTest, GetOtchetCancelledByTheOperator) {
  test::WriteFile(report_path, Body(300));
  host.process = [&](const std::string&) { return report_path; };
  std::string stop_prefix = W("Приём файла запроса: "_w);
  form->IdTCPServer1.SetHandler("GET_OTCHET", [&](protocol::Session& session) {
    ReportRequestService service = form->ReportRequestSetup();
    service.progress = StopAfterFirstStep(stop_prefix);
    ServeReportRequest(session, service);
  });
  form->RunServer();
  const int port = form->IdTCPServer1.Port();
  auto office = [&] {
    TcpConnection c = OfficeToStation(port, false);
    RawWrite(c, "GET_OTCHET");
    EXPECT_EQ(RawLine(c), "OK");
    RawWrite(c, "300");
    RawWrite(c, "req.dat");
    std::string answer_size;
    try {
      RawSendBody(c, Body(300), 128, false);
      EXPECT_EQ(RawLine(c), "Send_file");
      RawWrite(c, "OK");
      answer_size = RawLine(c);
      RawLine(c);
      RawReceiveBody(c, std::stoi(answer_size), 128, false);
    } catch (const std::exception&) {
      // The station stopped and closed.
    }
    return answer_size;
  };

  // The request cut by Stop: the size check fails, nothing is stored or processed.
  EXPECT_EQ(OnWorker(office), "");
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 1; }));
  EXPECT_EQ(Count(W("Файл запроса принят (контрольная сумма НЕ верная (128<>300)"_w)), 1);
  EXPECT_FALSE(std::filesystem::exists(OfficeFolder() + "req.dat_z"));
  EXPECT_TRUE(host.Requests().empty());

  // The answer cut by Stop: the operator's notice, the connection closed, no success line.
  stop_prefix = W("Передача файла-ответа: "_w);
  EXPECT_EQ(OnWorker(office), "300");
  ASSERT_TRUE(PumpUntil([&] { return Count(kEnded) == 2; }));
  EXPECT_EQ(host.Requests().size(), 1u);
  EXPECT_EQ(Count(W("Обмен данными прерван пользователем"_w)), 1);
  EXPECT_EQ(Count(W("Файл "_w) + report_path + W(" отправлен!"_w)), 0);
  EXPECT_EQ(boxes, std::vector<std::string>{W("Связь с офисом|Обмен данными прерван пользователем"_w)});
}

// ---- the station's own exchange ---------------------------------------------

class OwnExchangeTest : public StationExchangeTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(OwnExchangeTest, TwoOfficesOneWithARequestOneWithout) {
  const Shape shape = GetParam();
  SetMode(shape.fast, shape.b);
  const std::string request = Body(shape.request);
  const std::string report = Body(shape.report + 1).substr(1);
  test::WriteFile(report_path, report);
  host.process = [&](const std::string&) { return report_path; };
  TcpListener office(kHost, 0);
  TheSettings().OutPort = office.Port();
  form->cb_IP.caption = W("127.0.0.1 - Офис 1; 127.0.0.1"_w);

  struct Seen {
    std::string first, second, size, path, body;
    std::vector<std::int32_t> acks;
    bool closed1 = false, closed2 = false;
  };
  auto office_side = std::async(std::launch::async, [&] {
    Seen s;
    TcpConnection c;
    s.first = StationSession(office, shape.fast, c);
    RawWrite(c, "OK");
    RawWrite(c, std::to_string(request.size()));
    RawWrite(c, "zapros.txt");
    s.acks = RawSendBody(c, request, shape.b, shape.fast);
    EXPECT_EQ(RawLine(c), "Send_file");
    RawWrite(c, "OK");
    s.size = RawLine(c);
    s.path = RawLine(c);
    s.body = RawReceiveBody(c, std::stoi(s.size), shape.b, shape.fast);
    s.closed1 = SeesClose(c);
    TcpConnection c2;
    s.second = StationSession(office, shape.fast, c2);
    RawWrite(c2, "No_zapros");
    s.closed2 = SeesClose(c2);
    return s;
  });
  const StationExchange exchange = form->ExchangeSetup();
  const bool result = OnWorker([&] {
    protocol::Session client;
    return PrepareAndSendOtchet(client, exchange);
  });
  const Seen seen = office_side.get();

  EXPECT_TRUE(result);
  const std::string opened = W("АЗС 3|NOPASS|TRY_GET_ZAPROS"_w);
  EXPECT_EQ(seen.first, opened);
  EXPECT_EQ(seen.second, opened);
  EXPECT_EQ(seen.acks, shape.fast ? std::vector<std::int32_t>{} : Steps(request.size(), shape.b));
  EXPECT_EQ(test::ReadFile(OfficeFolder() + "zapros.txt_z"), request);
  EXPECT_EQ(host.Requests(), std::vector<std::string>{OfficeFolder() + "zapros.txt_z"});
  EXPECT_EQ(seen.size, std::to_string(report.size()));
  EXPECT_EQ(seen.path, report_path);
  EXPECT_TRUE(seen.body == report);
  EXPECT_TRUE(seen.closed1 && seen.closed2);
  const std::string connecting = Connecting(office.Port());
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         W("Передача данных по нескольким адресатам!"_w), connecting, kConnected,
                         W("Прием файла запроса: zapros.txt_z "_w) + std::to_string(request.size()) + W(" байт"_w),
                         W("Файл принят успешно (контрольная сумма в порядке) "_w),
                         test::DigestLine(request, OfficeFolder() + "zapros.txt_z"),
                         W("Обрабатывается файл запроса: zapros.txt_z"_w), W("Принятый файл обработан!"_w),
                         W("Передается файл: "_w) + report_path + " (" + std::to_string(report.size()) +
                             W(" байт) ..."_w),
                         W("Файл "_w) + report_path + W(" отправлен!"_w),
                         test::DigestLine(report, report_path), kDisconnected, kSent,
                         connecting, kConnected, kDisconnected, kNotSent}));
  EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, OwnExchangeTest,
                         ::testing::Values(Shape{false, 128, 300, 256}, Shape{false, 128, 0, 128},
                                           Shape{true, 256000, 256000, 0}),
                         ShapeName);

TEST_F(StationExchangeTest, UnreachableOfficeShowsABoxOnlyWhenStartedByHand) {
  int dead_port;
  {
    TcpListener gone(kHost, 0);
    dead_port = gone.Port();
  }
  TheSettings().OutPort = dead_port;
  form->cb_IP.caption = "127.0.0.1; 127.0.0.1";

  State().AutoMode = true;  // as AutoSendInet leaves it
  form->start_exchange();
  ASSERT_TRUE(ExchangesEnded());
  EXPECT_FALSE(State().AutoMode);
  EXPECT_TRUE(boxes.empty());
  ASSERT_GE(Lines().size(), 2u);
  EXPECT_EQ(Lines()[0], W("Соединение с интернет..."_w));
  EXPECT_EQ(Lines()[1], W("Автоматическая отправка данных(IP)..."_w));
  EXPECT_EQ(Count(Connecting(dead_port)), 2);

  form->bSendToOffice.Click();
  ASSERT_TRUE(ExchangesEnded());
  EXPECT_EQ(boxes, std::vector<std::string>(
                       2, W("Связь с офисом|Отчет не отправлен!\rНе возможно подключиться к офису"_w)));
  EXPECT_EQ(Count(W("Автоматическая отправка данных(IP)..."_w)), 1);
  EXPECT_EQ(Count(Connecting(dead_port)), 4);
  EXPECT_FALSE(form->exchange_running);  // cleared by the thread that ended well
}

TEST_F(StationExchangeTest, RequestNamesAreCheckedAsStoredAndStayInTheFolder) {
  TcpListener office(kHost, 0);
  TheSettings().OutPort = office.Port();
  const std::vector<const char*> names = {"..\\..\\evil.dat", "nul.txt", "LPT3", "abc."};
  form->cb_IP.caption = "127.0.0.1; 127.0.0.1; 127.0.0.1; 127.0.0.1";
  auto office_side = std::async(std::launch::async, [&] {
    std::vector<bool> closed;
    for (const char* name : names) {
      TcpConnection c;
      StationSession(office, false, c);
      RawWrite(c, "OK");
      RawWrite(c, "4");
      RawWrite(c, name);
      try {
        RawSendBody(c, "abcd", 128, false);
      } catch (const std::exception&) {
        // The refused name: the station closes instead of acknowledging.
      }
      closed.push_back(SeesClose(c));  // no report: no "Send_file"
    }
    return closed;
  });
  form->bSendToOffice.Click();
  ASSERT_TRUE(ExchangesEnded());
  EXPECT_EQ(office_side.get(), std::vector<bool>(names.size(), true));

  const std::vector<std::string> stored = {".._.._evil.dat_z", "LPT3_z", "abc._z"};
  std::vector<std::string> expected;
  for (const std::string& name : stored) {
    expected.push_back(OfficeFolder() + name);
    EXPECT_EQ(test::ReadFile(OfficeFolder() + name), "abcd") << name;
  }
  EXPECT_EQ(host.Requests(), expected);
  // Nothing named after the request anywhere but in the office folder.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
    if (entry.path().filename().string().find("evil") != std::string::npos) {
      EXPECT_EQ(entry.path().parent_path().string() + platform::kPathSeparator, OfficeFolder()) << entry.path();
    }
  }
  EXPECT_EQ(Count(W("Недопустимое имя файла запроса ..\\..\\evil.dat заменено на .._.._evil.dat_z"_w)), 1);
  EXPECT_EQ(Count(W("Недопустимое имя файла запроса, файл не принят: nul.txt"_w)), 1);
  EXPECT_EQ(Count(W("Прием файла запроса: abc._z 4 байт"_w)), 1);
  EXPECT_EQ(Count(W("Принятый файл НЕ обработан!"_w)), 3);
  EXPECT_EQ(Count(kNotSent), 4);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(StationExchangeTest, SecondPressWhileRunningAsksAndRunsAfterTheFirst) {
  TcpListener office(kHost, 0);
  TheSettings().OutPort = office.Port();
  form->cb_IP.caption = "127.0.0.1";
  std::promise<void> first_asked, release;
  auto office_side = std::async(std::launch::async, [&] {
    TcpConnection c1;
    StationSession(office, false, c1);
    first_asked.set_value();
    ui::Dispatcher::instance().wake();
    release.get_future().wait();
    RawWrite(c1, "No_zapros");
    const bool closed1 = SeesClose(c1);
    TcpConnection c2;
    StationSession(office, false, c2);
    RawWrite(c2, "No_zapros");
    return closed1 && SeesClose(c2);
  });
  form->bSendToOffice.Click();
  std::future<void> asked = first_asked.get_future();
  ASSERT_TRUE(PumpUntil([&] { return asked.wait_for(0s) == std::future_status::ready; }));
  EXPECT_TRUE(form->exchange_running);

  ui::Operator::instance().QueueAnswer(ui::Answer::Yes);
  form->bSendToOffice.Click();  // returns at once: the new thread waits for the lock
  EXPECT_EQ(State().workers.Running(), 2u);
  ui::Dispatcher::instance().pump_pending();
  release.set_value();
  ASSERT_TRUE(ExchangesEnded());
  EXPECT_TRUE(office_side.get());

  EXPECT_EQ(boxes, std::vector<std::string>{"|" + W("Возможно предыдущий сеанс связи еще не закончен!\r\n"
                                                      "Начать новый сеанс связи?"_w)});
  EXPECT_EQ(Count(kNotSent), 2);
  // The second session opened only after the first had ended.
  EXPECT_LT(IndexOf(kNotSent, 1), IndexOf(Connecting(office.Port()), 2));
  EXPECT_FALSE(form->exchange_running);
}

TEST_F(StationExchangeTest, StopEndsAnExchangeWaitingForASilentOffice) {
  TheSettings().ReadTimeOut = 0;  // no limit: only the stop can end the wait
  TcpListener office(kHost, 0);
  TheSettings().OutPort = office.Port();
  form->cb_IP.caption = "127.0.0.1";
  State().AutoMode = true;
  form->start_exchange();
  std::optional<TcpConnection> silent = OnWorker([&] { return office.Accept(kWaitMs); });
  ASSERT_TRUE(silent);
  EXPECT_TRUE(State().workers.StopAll(std::chrono::milliseconds(kWaitMs)));
  EXPECT_EQ(State().workers.Running(), 0u);
  EXPECT_TRUE(SeesClose(*silent));
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace pw::station
