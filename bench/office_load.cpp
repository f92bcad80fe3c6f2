// bench/office_load: an office (pumpwire-host, a process of its own) takes
// reports from many stations at once. Each station is a connection of this
// program on 127.0.0.1 that does the station's handshake and then delivers
// one report with "Send_file", all stations starting together once every
// handshake is done. Afterwards it checks that every report is stored whole
// under its own name, that none is lost and none handed to the host twice
// (the host prints a "host: ProcessReportFile" line per hand-over), and that
// the office's thread count comes back to where it started.
//
// The office's stored bytes per second are given as a ratio against one
// fast-mode stream measured in the same run, just before the office starts
// and again after it ends: one body of the plug-in's own framing (B =
// 256000) from a file to a file, each end a process of its own, as
// bench/transfer measures it. The ratio holds on any machine; the figures
// beside it do not. It also prints the office's peak threads, its RSS at the
// start, after each wave and at its peak, read from /proc/PID/status.
//
//   office_load [--stations N] [--size MiB] [--mode ack|fast] [--waves W]
//               [--stream MiB] [--folder DIR] [--quick]
//
// Without options: 256 then 1000 stations, 1 MiB each, acknowledged
// (B = 2048) then fast (B = 256000), each in two waves against the same
// office, so that what the office keeps after the first wave (the
// allocator's free lists, its on-screen log) can be told from what grows
// with every wave; the stream is 64 MiB. --quick: 32 stations, both modes,
// two waves, an 8 MiB stream, a few seconds in all (no figure means much
// then). Each run is bounded in time.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
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
#include "sync/mutex.h"

namespace {

using namespace pw;
namespace fs = std::filesystem;
using bench::Clock;

struct Run {
  int stations;
  bool fast;
  std::int64_t size;
  std::int32_t packet() const { return fast ? 256000 : 2048; }
};

// The office's hand-overs to its host, counted from its output.
class HandOvers {
 public:
  // "host: ProcessReportFile STATION PATH -> COPY"; no blanks in our names.
  void Line(const std::string& line) {
    static const std::string kHandOver = "host: ProcessReportFile ";
    if (line.rfind(kHandOver, 0) != 0) return;
    std::istringstream words(line.substr(kHandOver.size()));
    std::string station, path;
    words >> station >> path;
    MutexLock lock(mu_);
    ++handed_[fs::path(path).filename().string()];
    ++count_;
    last_ = Clock::now();
    cv_.notify_all();
  }

  // Waits until n hand-overs were printed; false when deadline passes first.
  bool WaitFor(std::size_t n, Clock::time_point deadline) {
    MutexLock lock(mu_);
    return cv_.wait_until(mu_, deadline, [&] { return count_ >= n; });
  }

  // Report file name -> how often it was handed to the host.
  std::map<std::string, int> ByName() {
    MutexLock lock(mu_);
    return handed_;
  }

  Clock::time_point last() {
    MutexLock lock(mu_);
    return last_;
  }

 private:
  Mutex mu_;
  std::condition_variable_any cv_;
  std::map<std::string, int> handed_;
  std::size_t count_ = 0;
  Clock::time_point last_;
};

// Samples the office's threads and RSS until stopped.
class Sampler {
 public:
  explicit Sampler(pid_t pid) : pid_(pid), thread_([this] { Loop(); }) {}
  ~Sampler() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long peak_threads() const { return peak_threads_; }

 private:
  void Loop() {
    while (!stop_) {
      peak_threads_ = std::max(peak_threads_.load(), bench::ReadStatus(pid_).threads);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  pid_t pid_;
  std::atomic<bool> stop_{false};
  std::atomic<long> peak_threads_{0};
  std::thread thread_;
};

std::string StationName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "st%04d", i);
  return name;
}

// Report k of a run: station k mod N in wave k / N.
std::string ReportStem(int k) {
  char stem[32];
  std::snprintf(stem, sizeof stem, "rep%05d", k);
  return stem;
}
std::string ReportLine(int k) { return ReportStem(k) + ".txt"; }

// Station i's report: its own bytes, so a mix-up between stations shows.
std::string ReportBytes(int i, std::int64_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (std::size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<char>(j * 131 + i * 7 + (j >> 12));
  return bytes;
}

// One start signal for every station once all handshakes are done.
class StartLine {
 public:
  explicit StartLine(int n) : waiting_(n) {}
  void ArriveAndWait() {
    MutexLock lock(mu_);
    if (--waiting_ == 0) {
      start_ = Clock::now();
      cv_.notify_all();
    }
    cv_.wait(mu_, [&] { return waiting_ == 0; });
  }
  Clock::time_point start() {
    MutexLock lock(mu_);
    return start_;
  }

 private:
  Mutex mu_;
  std::condition_variable_any cv_;
  int waiting_;
  Clock::time_point start_;
};

// One station: handshake, wait for the start, "Send_file" with report k.
bool Deliver(int i, int k, int port, const Run& run, const std::string& source, StartLine& start) {
  bool ok = false;
  bool arrived = false;
  protocol::Session session;
  try {
    const WireContext wire = CurrentWireContext();
    const std::string name = StationName(i);
    protocol::ConnectorSide side{wire, protocol::Connector::Station, nullptr, [&] { return name; }};
    protocol::ConnectorHandshake(session, "127.0.0.1", port, side);
    arrived = true;
    start.ArriveAndWait();
    session.WriteLine("Send_file");
    if (session.ReadLine() == "OK") {
      session.WriteNumberLine(run.size);
      session.WriteLine(ReportLine(k));
      protocol::TransferSite site(wire);
      site.error_prefix = "station " + name + ": ";
      ok = protocol::SendBody(session, source, static_cast<std::int32_t>(run.size), site, bench::NoWindows());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "station %d: %s\n", i, e.what());
    if (!arrived) start.ArriveAndWait();  // so the others are not held up
  }
  // The office hands the report over once the body is in; the station goes.
  session.Disconnect();
  return ok;
}

bool SameBytes(const std::string& path, const std::string& expected) {
  try {
    return platform::ReadWholeFile(path) == expected;
  } catch (const std::exception&) {
    return false;
  }
}

struct Wave {
  double seconds = 0;  // from the start to the last hand-over
  bool all_handed = false;
  int sent = 0;
  long peak_threads = 0;
  bench::ProcStatus after;  // once the connections' threads are gone
};

// Every station delivers one report at once; waits for the hand-overs.
Wave RunWave(const Run& run, int wave, int port, const std::string& sources, pid_t office,
             HandOvers& hand_overs, long threads_before) {
  Wave w;
  Sampler sampler(office);
  StartLine start(run.stations);
  std::atomic<int> sent{0};
  std::vector<std::thread> stations;
  for (int i = 0; i < run.stations; ++i)
    stations.emplace_back([&, i] {
      const int k = wave * run.stations + i;
      if (Deliver(i, k, port, run, sources + ReportLine(k), start)) ++sent;
    });
  for (std::thread& t : stations) t.join();
  w.sent = sent;
  const auto limit = start.start() + std::chrono::seconds(60 + run.stations / 4);
  w.all_handed = hand_overs.WaitFor(static_cast<std::size_t>((wave + 1) * run.stations), limit);
  w.seconds = std::chrono::duration<double>(hand_overs.last() - start.start()).count();
  // Every connection's thread ends and is joined once the stations are gone
  // (bounded: 30 s on a loaded machine).
  w.after = bench::ReadStatus(office);
  for (int i = 0; i < 3000 && w.after.threads > threads_before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    w.after = bench::ReadStatus(office);
  }
  // The office hands its free heap back once the last thread is joined.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  w.after = bench::ReadStatus(office);
  sampler.Stop();
  w.peak_threads = sampler.peak_threads();
  return w;
}

// One fast-mode body from a file to a file, each end a process of its own,
// as bench/transfer measures it: bytes per second, from the later end's
// own clock. Run while the office is down, so it has the machine to itself.
double OneStreamBytesPerSecond(std::int64_t size, const std::string& folder) {
  const std::string source = folder + "/stream-source", target = folder + "/stream-target";
  {
    platform::WritableFile out(source);
    const std::string block = ReportBytes(0, 1 << 20);
    for (std::int64_t left = size; left > 0; left -= 1 << 20)
      out.Write(block.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, 1 << 20)));
    out.Close();
  }
  TheSettings().useFastDatTravel = true;
  TheSettings().InetBuffSize = 256000;
  platform::TcpListener listener("127.0.0.1", 0);
  const int port = listener.Port();
  int times[2];
  if (pipe(times) != 0) return 0;
  const auto end = [&](auto transfer) {
    const pid_t pid = fork();
    if (pid == 0) {
      const auto start = Clock::now();
      const bool ok = transfer();
      const double seconds = ok ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
      _exit(write(times[1], &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
    }
    return pid;
  };
  const auto quiet_site = [](const WireContext& wire) {
    protocol::TransferSite site(wire);
    site.error_prefix = "stream: ";
    return site;
  };
  const pid_t receiver = end([&] {
    auto c = listener.Accept(-1);
    protocol::Session session(*c);
    const WireContext wire = CurrentWireContext();
    return protocol::ReceiveBody(session, static_cast<std::int32_t>(size), target, quiet_site(wire),
                                 bench::NoWindows()) == protocol::Received::Stored;
  });
  const pid_t sender = end([&] {
    auto c = platform::TcpConnection::Connect("127.0.0.1", port, 10000);
    protocol::Session session(c);
    const WireContext wire = CurrentWireContext();
    return protocol::SendBody(session, source, static_cast<std::int32_t>(size), quiet_site(wire),
                              bench::NoWindows());
  });
  double seconds = 0;
  for (int i = 0; i < 2; ++i) {
    double s = -1;
    if (read(times[0], &s, sizeof s) != sizeof s || s <= 0) seconds = -1;
    else if (seconds >= 0) seconds = std::max(seconds, s);
  }
  waitpid(receiver, nullptr, 0);
  waitpid(sender, nullptr, 0);
  close(times[0]);
  close(times[1]);
  const bool whole = SameBytes(target, platform::ReadWholeFile(source));
  platform::RemoveFile(source);
  platform::RemoveFile(target);
  if (seconds <= 0 || !whole) {
    std::printf("the stream's body did not arrive whole\n");
    return 0;
  }
  return static_cast<double>(size) / seconds;
}

// Returns whether every check passed.
bool Measure(const Run& run, int waves, std::int64_t stream_size, const std::string& folder) {
  std::string root = folder + "/pumpwire-load-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) return false;
  const double stream_before = OneStreamBytesPerSecond(stream_size, root);
  const int port = test::FreePort();
  const int reports = waves * run.stations;

  TheSettings().useFastDatTravel = run.fast;
  TheSettings().InetBuffSize = run.packet();
  TheSettings().ReadTimeOut = 120000;
  TheSettings().ConnectTimeOut = 30000;
  TheSettings().PasswordEnable = false;

  const std::string sources = root + "/stations/";
  platform::CreateDirectories(sources);
  for (int k = 0; k < reports; ++k)
    platform::WriteFileReplacing(sources + ReportLine(k), ReportBytes(k, run.size));

  HandOvers hand_overs;
  bench::HostChild office(
      {"office", "--root", root + "/office", "--set", "InPort=" + std::to_string(port), "--set",
       std::string("useFastDatTravel=") + (run.fast ? "1" : "0"), "--set",
       "InetBuffSize=" + std::to_string(run.packet()), "--set", "PasswordEnable=0",
       // A chain's stations come from addresses of their own; here they all
       // come from 127.0.0.1, and handshake at once.
       "--set", "MaxConnectionsPerIP=" + std::to_string(std::max(run.stations, 256)), "--set",
       "MaxConnections=" + std::to_string(std::max(2 * run.stations, 1024))},
      root + "/office.out", [&](const std::string& line) { hand_overs.Line(line); });
  if (!office.WaitFor("Load: 0", std::chrono::seconds(30)).found) {
    std::printf("the office did not load\n");
    return false;
  }
  // Load has started the listener by the time it returns; the host starts
  // its command reader after printing the ports. On a loaded machine that
  // takes a while: the start is taken once the thread count has held for
  // half a second (at most 10 s), else a late thread reads as one not back.
  office.WaitFor("listening:", std::chrono::seconds(30));
  bench::ProcStatus before = bench::ReadStatus(office.pid());
  for (auto held = Clock::now(), limit = held + std::chrono::seconds(10);
       Clock::now() - held < std::chrono::milliseconds(500) && Clock::now() < limit;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bench::ProcStatus now = bench::ReadStatus(office.pid());
    if (now.threads != before.threads) held = Clock::now();
    before = now;
  }

  std::vector<Wave> done;
  for (int wave = 0; wave < waves; ++wave)
    done.push_back(RunWave(run, wave, port, sources, office.pid(), hand_overs, before.threads));
  const bench::ProcStatus peak = bench::ReadStatus(office.pid());

  // What the office stored, what it handed over, and nothing else.
  const std::string stored_folder = root + "/office/OFFICE/";
  std::map<int, std::vector<std::string>> stored;  // report -> stored files
  int strays = 0;
  std::set<std::string> attributed;
  for (const auto& entry : fs::directory_iterator(stored_folder)) {
    const std::string name = entry.path().filename().string();
    int k = -1;
    char station[64] = {0};
    if (std::sscanf(name.c_str(), "rep%5d_%63[^.].dat", &k, station) == 2 && k >= 0 &&
        k < reports && name == ReportStem(k) + "_" + station + ".dat") {
      stored[k].push_back(name);
      attributed.insert(station);
    } else {
      ++strays;
    }
  }
  const auto handed = hand_overs.ByName();
  int whole = 0, lost = 0, twice = 0, copies_whole = 0;
  for (int k = 0; k < reports; ++k) {
    const auto it = stored.find(k);
    if (it == stored.end() || it->second.size() != 1) {
      ++lost;
      continue;
    }
    const std::string expected = ReportBytes(k, run.size);
    if (SameBytes(stored_folder + it->second.front(), expected)) ++whole;
    if (SameBytes(root + "/office/host/reports/" + it->second.front(), expected)) ++copies_whole;
    const auto h = handed.find(it->second.front());
    if (h != handed.end() && h->second > 1) ++twice;
  }
  office.Quit();
  const double stream_after = OneStreamBytesPerSecond(stream_size, root);
  const double stream = (stream_before + stream_after) / 2;

  bool threads_back = true, all_handed = true;
  int sent = 0;
  for (const Wave& w : done) {
    threads_back = threads_back && w.after.threads == before.threads;
    all_handed = all_handed && w.all_handed;
    sent += w.sent;
  }
  const bool ok = whole == reports && copies_whole == reports && lost == 0 && twice == 0 &&
                  strays == 0 && all_handed && sent == reports && threads_back && stream > 0;
  for (std::size_t i = 0; i < done.size(); ++i) {
    const Wave& w = done[i];
    const double bytes_per_second = static_cast<double>(run.stations * run.size) / w.seconds;
    const long grown = w.after.rss_kib - before.rss_kib;
    std::printf("%5d  %-4s %6d  %4zu  %9.1f  %7.1f  %7.1f  %5.2f  %4ld %4ld %4ld  %7ld %7ld %+7ld"
                " (anon %+ld, files %+ld)%s\n",
                run.stations, run.fast ? "fast" : "ack", run.packet(), i + 1,
                run.stations / w.seconds, bytes_per_second / 1e6, stream / 1e6,
                bytes_per_second / stream, before.threads, w.peak_threads, w.after.threads,
                before.rss_kib, w.after.rss_kib, grown, w.after.anon_kib - before.anon_kib,
                w.after.file_kib - before.file_kib, grown <= 8 * 1024 ? "" : " > 8 MiB");
  }
  std::printf("       stream %.1f MB/s before, %.1f after; office peak RSS %ld KiB; stored whole %d "
              "of %d, host copies whole %d, handed over %zu (twice %d), lost %d, strays %d, "
              "attributed to %zu name(s), threads %s  %s\n",
              stream_before / 1e6, stream_after / 1e6, peak.hwm_kib, whole, reports, copies_whole,
              handed.size(), twice, lost, strays, attributed.size(),
              threads_back ? "back" : "NOT back", ok ? "PASS" : "FAIL");
  std::fflush(stdout);
  if (ok) fs::remove_all(root);
  else std::printf("      folder kept: %s\n", root.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = "/tmp";
  std::vector<int> counts = {256, 1000};
  std::vector<bool> modes = {false, true};
  std::int64_t size = 1 << 20;
  int waves = 2;
  std::int64_t stream = 64ll << 20;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      counts = {32};
      stream = 8ll << 20;
      continue;
    }
    if (i + 1 == argc) break;
    const std::string v = argv[++i];
    if (a == "--stations") counts = {std::atoi(v.c_str())};
    else if (a == "--stream") stream = std::atoll(v.c_str()) << 20;
    else if (a == "--waves") waves = std::max(1, std::atoi(v.c_str()));
    else if (a == "--mode") modes = {v == "fast"};
    else if (a == "--size") size = std::atoll(v.c_str()) << 20;
    else if (a == "--folder") folder = v;
  }
  // Every connection is a descriptor at each end, and the office also has
  // a file open per reception.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  // The stations log their steps: give them an installation folder.
  std::string own = folder + "/pumpwire-load-stations-XXXXXX";
  if (mkdtemp(own.data()) == nullptr) return 1;
  setenv("PUMPWIRE_ROOT", own.c_str(), 1);
  platform::CreateDirectories(own + "/LogFiles/");
  bool ok = true;
  std::printf("  stations mode      B  wave  reports/s     MB/s   stream  ratio  threads         RSS KiB\n"
              "                                                   MB/s          start peak after  start   after  grown\n");
  for (int n : counts)
    for (bool fast : modes) ok = Measure({n, fast, size}, waves, stream, folder) && ok;
  fs::remove_all(own);
  return ok ? 0 : 1;
}
