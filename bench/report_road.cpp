// bench/report_road: the road of one report request, started at the office
// (an office and a station, each a pumpwire-host process of its own, on
// 127.0.0.1): the office's button sends a 64 KiB request with "GET_OTCHET",
// the station's host answers it with a 16 MiB report, which comes back to
// the office. Its wall time, from the press to the office handing the report
// to its host, is
// set against the sum of its parts measured alone in the same run: one
// office-to-station handshake (against the same station listener), the
// request body and the report body (each between two sessions of this
// program, file to file).
//
//   report_road [--repeat R] [--packet B] [--folder DIR]
//
// Both modes: acknowledged with B (default 128, the settings' default) and
// fast (B = 256000). Medians of R runs (default 5).
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host_child.h"
#include "no_progress.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "protocol/body_transfer.h"
#include "protocol/handshake.h"
#include "protocol/session.h"
#include "services/settings.h"
#include "services/wire_context.h"

namespace {

using namespace pw;
using bench::Clock;
namespace fs = std::filesystem;

constexpr std::int32_t kRequestSize = 64 * 1024;
constexpr std::int32_t kReportSize = 16 * 1024 * 1024;
const std::string kStation = "st1";

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void MakeFile(const std::string& path, std::int32_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 10));
  platform::WriteFileReplacing(path, bytes);
}

// One body from source to target between two sessions of this process.
double BodyAlone(const std::string& source, const std::string& target, std::int32_t size) {
  platform::TcpListener listener("127.0.0.1", 0);
  const WireContext wire = CurrentWireContext();
  auto sender = platform::TcpConnection::Connect("127.0.0.1", listener.Port(), 10000);
  auto accepted = listener.Accept(10000);
  protocol::Session out(sender), in(*accepted);
  const auto start = Clock::now();
  std::thread receiver([&] {
    protocol::TransferSite site(wire);
    site.error_prefix = "receiver: ";
    protocol::ReceiveBody(in, size, target, site, bench::NoWindows());
  });
  protocol::TransferSite site(wire);
  site.error_prefix = "sender: ";
  protocol::SendBody(out, source, size, site, bench::NoWindows());
  receiver.join();
  const double seconds = Since(start);
  if (platform::FileSize(target).value_or(0) != static_cast<std::uint64_t>(size))
    std::printf("a body did not arrive whole\n");
  platform::RemoveFile(target);
  return seconds;
}

// The office's side of a handshake with the station's listener, alone.
double HandshakeAlone(int station_port) {
  const WireContext wire = CurrentWireContext();
  protocol::Session session;
  const auto start = Clock::now();
  protocol::ConnectorHandshake(session, "127.0.0.1", station_port,
                               {wire, protocol::Connector::Office, nullptr, {}});
  const double seconds = Since(start);
  session.Disconnect();
  return seconds;
}

struct Figures {
  double road = 0, handshake = 0, request = 0, report = 0;
  int failed = 0;
};

Figures Measure(bool fast, std::int32_t packet, int repeat, const std::string& root) {
  TheSettings().useFastDatTravel = fast;
  TheSettings().InetBuffSize = packet;
  const int office_port = test::FreePort();
  int station_port = office_port;
  while (station_port == office_port) station_port = test::FreePort();

  const std::string report = root + "/report.dat";
  platform::CreateDirectories(root);
  MakeFile(report, kReportSize);
  platform::CreateDirectories(root + "/office/host/requests/");
  MakeFile(root + "/office/host/requests/" + kStation, kRequestSize);

  const std::vector<std::string> mode = {
      "--set", std::string("useFastDatTravel=") + (fast ? "1" : "0"), "--set",
      "InetBuffSize=" + std::to_string(packet), "--set", "PasswordEnable=0"};
  std::vector<std::string> office_args = {"office", "--root", root + "/office", "--set",
                                          "InPort=" + std::to_string(office_port), "--set",
                                          "OutPort=" + std::to_string(station_port)};
  std::vector<std::string> station_args = {
      "station", "--root", root + "/station", "--name", kStation, "--set",
      "InPort=" + std::to_string(station_port), "--set", "OutPort=" + std::to_string(office_port),
      // The station's host answers every request with the prepared report.
      "--report-command", "echo " + report + " #"};
  office_args.insert(office_args.end(), mode.begin(), mode.end());
  station_args.insert(station_args.end(), mode.begin(), mode.end());
  bench::HostChild office(office_args, root + "/office.out");
  bench::HostChild station(station_args, root + "/station.out");

  Figures f;
  if (!office.WaitFor("Load: 0", std::chrono::seconds(30)).found ||
      !station.WaitFor("Load: 0", std::chrono::seconds(30)).found) {
    std::printf("a host did not load\n");
    f.failed = repeat;
    return f;
  }
  office.Send("type 127.0.0.1");
  std::vector<double> road, handshake, request, body;
  for (int r = 0; r < repeat; ++r) {
    const std::size_t after = office.LinesKept();
    const auto start = Clock::now();
    office.Send("press BitBtn1");
    // The hand-over is printed at once; log lines only at the host's next
    // look at the log, up to 50 ms later. The success line still has to
    // come before the next press.
    const auto done = office.WaitFor("host: ProcessReportFile", std::chrono::seconds(120), after);
    if (!done.found ||
        !office.WaitFor("произошел УСПЕШНО!", std::chrono::seconds(30), after).found) {
      ++f.failed;
      continue;
    }
    road.push_back(std::chrono::duration<double>(done.when - start).count());
    // The exchange has disconnected; the parts now run alone.
    handshake.push_back(HandshakeAlone(station_port));
    request.push_back(
        BodyAlone(root + "/office/host/requests/" + kStation, root + "/request.copy", kRequestSize));
    body.push_back(BodyAlone(report, root + "/report.copy", kReportSize));
  }
  if (!road.empty()) {
    f.road = Median(road);
    f.handshake = Median(handshake);
    f.request = Median(request);
    f.report = Median(body);
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = "/tmp";
  int repeat = 5;
  std::int32_t packet = 128;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--repeat") repeat = std::max(1, std::atoi(v.c_str()));
    else if (a == "--packet") packet = std::atoi(v.c_str());
    else if (a == "--folder") folder = v;
  }
  std::string root = folder + "/pumpwire-road-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) return 1;
  // The parts measured here log their steps too.
  setenv("PUMPWIRE_ROOT", root.c_str(), 1);
  platform::CreateDirectories(root + "/LogFiles/");
  bool ok = true;
  std::printf("request %d KiB, report %d MiB, medians of %d\n", kRequestSize >> 10,
              kReportSize >> 20, repeat);
  for (const bool fast : {false, true}) {
    const std::int32_t b = fast ? 256000 : packet;
    const std::string run_root = root + (fast ? "/fast" : "/ack");
    const Figures f = Measure(fast, b, repeat, run_root);
    const double sum = f.handshake + f.request + f.report;
    std::printf("%-4s B=%-6d road %8.1f ms   parts: handshake %6.1f + request %6.1f + report "
                "%7.1f = %8.1f ms   road/sum %.2f   beyond the parts %7.1f ms%s\n",
                fast ? "fast" : "ack", b, f.road * 1e3, f.handshake * 1e3, f.request * 1e3,
                f.report * 1e3, sum * 1e3, sum > 0 ? f.road / sum : 0.0, (f.road - sum) * 1e3,
                f.failed ? ("   FAILED " + std::to_string(f.failed) + " road(s)").c_str() : "");
    std::fflush(stdout);
    ok = ok && f.failed == 0;
  }
  if (ok) fs::remove_all(root);
  else std::printf("folder kept: %s\n", root.c_str());
  return ok ? 0 : 1;
}
