// bench/transfer: moves one file body between two real sessions on loopback
// and compares it with a baseline measured in the same run by this program:
// a plain socket stream of the same bytes (fast transfer) or a plain
// packet / 4-byte-reply ping-pong with the same packet size (acknowledged
// transfer). Each end runs in a process of its own, so each end's peak RSS
// is its own.
//
//   transfer [--size MiB] [--packet B] [--mode fast|ack] [--digest on|off] [--folder DIR] [--quick]
//
// Without options it runs the standard table: fast 512 MiB with B = 256000
// with the body digest and without it, acknowledged B = 128 (8 MiB), 2048
// (64 MiB) and 256000 (256 MiB). Each row gives the ratio of the plug-in's
// time to the baseline's, the CPU time (user + system, all threads) each end
// spent in both, and the load average as the row began: the machine is
// shared, and a transfer on loopback is bound by the CPU.
// --quick: the same table with 1/32 of each size, a few seconds in all.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "interactive/progress_windows.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "protocol/body_transfer.h"
#include "protocol/session.h"
#include "services/settings.h"
#include "services/wire_context.h"
#include "ui/dispatcher.h"

namespace {

using namespace pw;
using Clock = std::chrono::steady_clock;

struct Run {
  bool fast;
  std::int32_t packet;
  std::int64_t size;
  bool digest = true;
};

struct EndReport {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_rss_kib = 0;
};

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// User and system time of every thread of this process so far.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// One end in a child process of its own, with the pipe its report comes on.
struct End {
  pid_t pid;
  int report_fd;
};

// Runs fn in a child process, which reports its seconds, CPU time and peak RSS.
template <typename Fn>
End Child(Fn fn) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const auto start = Clock::now();
    const double cpu_start = CpuSeconds();
    fn();
    EndReport r{std::chrono::duration<double>(Clock::now() - start).count(),
                CpuSeconds() - cpu_start, PeakRssKib()};
    if (write(fds[1], &r, sizeof r) != sizeof r) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

EndReport Collect(const End& end) {
  EndReport r;
  if (read(end.report_fd, &r, sizeof r) != sizeof r) std::fprintf(stderr, "an end failed\n");
  close(end.report_fd);
  int status = 0;
  waitpid(end.pid, &status, 0);
  return r;
}

// The plug-in's own transfer, with its progress windows on a main thread.
template <typename Fn>
void WithMainThread(Fn transfer) {
  auto& d = ui::Dispatcher::instance();
  d.attach_main_thread();
  bool done = false;
  std::thread worker([&] {
    transfer();
    d.post([&] { done = true; });
  });
  d.run_until([&] { return done; });
  worker.join();
}

void Configure(const Run& run) {
  TheSettings().useFastDatTravel = run.fast;
  TheSettings().InetBuffSize = run.packet;
}

// Made after Configure, so transfers see the run's mode and packet size.
protocol::TransferSite QuietSite(const WireContext& wire, const Run& run) {
  protocol::TransferSite site(wire);
  site.hash_body = run.digest;
  site.error_prefix = "error: ";
  site.mismatch = [](std::int64_t) { return std::string("mismatch"); };
  return site;
}

struct Pair {
  EndReport sender, receiver;
  double Seconds() const { return std::max(sender.seconds, receiver.seconds); }
};

Pair MeasurePlugin(const Run& run, const std::string& source, const std::string& target) {
  platform::TcpListener listener("127.0.0.1", 0);
  const int port = listener.Port();
  const End receiver = Child([&] {
    Configure(run);
    auto c = listener.Accept(-1);
    WithMainThread([&] {
      protocol::Session s(*c);
      const WireContext wire = CurrentWireContext();
      protocol::ReceiveBody(s, static_cast<std::int32_t>(run.size), target, QuietSite(wire, run),
                            interactive::ProgressWindows());
    });
  });
  const End sender = Child([&] {
    Configure(run);
    auto c = platform::TcpConnection::Connect("127.0.0.1", port, 10000);
    WithMainThread([&] {
      protocol::Session s(c);
      const WireContext wire = CurrentWireContext();
      protocol::SendBody(s, source, static_cast<std::int32_t>(run.size), QuietSite(wire, run),
                         interactive::ProgressWindows());
    });
  });
  Pair p;
  p.receiver = Collect(receiver);
  p.sender = Collect(sender);
  return p;
}

// Plain stream or plain ping-pong, the bare socket cost of the same bytes.
// With files, the sender also reads the source and the receiver writes the
// target, piece by piece: the floor that any file transfer stands on.
Pair MeasureBaseline(const Run& run, const std::string& source = {}, const std::string& target = {}) {
  const bool files = !source.empty();
  platform::TcpListener listener("127.0.0.1", 0);
  const int port = listener.Port();
  const std::size_t piece = run.fast ? 256 * 1024 : static_cast<std::size_t>(run.packet);
  const End receiver = Child([&] {
    auto c = listener.Accept(-1);
    std::vector<char> buf(piece);
    const char reply[4] = {0, 0, 0, 1};
    std::optional<platform::WritableFile> out;
    if (files) out.emplace(target);
    for (std::int64_t left = run.size; left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, piece));
      c->ReadExact(buf.data(), n);
      if (files) out->Write(buf.data(), n);
      if (!run.fast) c->WriteAll(reply, 4);
      left -= static_cast<std::int64_t>(n);
    }
  });
  const End sender = Child([&] {
    auto c = platform::TcpConnection::Connect("127.0.0.1", port, 10000);
    std::vector<char> buf(piece, 'x');
    char reply[4];
    std::optional<platform::ReadableFile> in;
    if (files) in.emplace(source);
    for (std::int64_t left = run.size; left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, piece));
      if (files)
        for (std::size_t got = 0; got < n;) got += in->Read(buf.data() + got, n - got);
      c.WriteAll(buf.data(), n);
      if (!run.fast) c.ReadExact(reply, 4);
      left -= static_cast<std::int64_t>(n);
    }
  });
  Pair p;
  p.receiver = Collect(receiver);
  p.sender = Collect(sender);
  return p;
}

void MakeSource(const std::string& path, std::int64_t size) {
  platform::WritableFile f(path);
  std::vector<char> block(1 << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
  for (std::int64_t left = size; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, block.size()));
    f.Write(block.data(), n);
    left -= static_cast<std::int64_t>(n);
  }
  f.Close();
}

// This machine is a virtual one that hands free memory back to its host
// after a second or two, and a page taken anew costs far more to touch
// than one used again: a receiver's page cache then costs 1 s or 0.2 s for
// 512 MiB depending on what ran before. A file of the body's size written
// and removed just before a measurement that stores a file leaves memory
// in one state for every such measurement.
void WarmPageCache(const std::string& scratch, std::int64_t size) {
  MakeSource(scratch, size);
  platform::RemoveFile(scratch);
}

void Report(const Run& run, double load, const Pair& plugin, const Pair& base, const Pair& floor) {
  const double mb = static_cast<double>(run.size) / 1e6;
  std::printf("%-4s B=%-7d %4lld MiB digest %-3s load %4.2f | plug-in %6.1f MB/s | baseline %6.1f "
              "MB/s ratio %.2f | baseline+files %6.1f MB/s ratio %.2f | CPU s sender/receiver: "
              "plug-in %.2f/%.2f baseline %.2f/%.2f | peak RSS KiB %ld/%ld\n",
              run.fast ? "fast" : "ack", run.packet, static_cast<long long>(run.size >> 20),
              run.digest ? "on" : "off", load, mb / plugin.Seconds(), mb / base.Seconds(),
              base.Seconds() / plugin.Seconds(), mb / floor.Seconds(),
              floor.Seconds() / plugin.Seconds(), plugin.sender.cpu_seconds,
              plugin.receiver.cpu_seconds, base.sender.cpu_seconds, base.receiver.cpu_seconds,
              plugin.sender.peak_rss_kib, plugin.receiver.peak_rss_kib);
  std::fflush(stdout);
}

double LoadAverage() {
  double load[1] = {0};
  return getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Run> runs;
  std::string folder = "/tmp";
  Run one{true, 256000, 512ll << 20};
  bool custom = false;
  int shrink = 0;  // the standard table's sizes over 2^shrink
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      shrink = 5;
      continue;
    }
    if (i + 1 == argc) break;
    const std::string v = argv[++i];
    if (a == "--size") one.size = std::atoll(v.c_str()) << 20, custom = true;
    else if (a == "--packet") one.packet = std::atoi(v.c_str()), custom = true;
    else if (a == "--mode") one.fast = v == "fast", custom = true;
    else if (a == "--digest") one.digest = v != "off", custom = true;
    else if (a == "--folder") folder = v;
  }
  if (custom) {
    runs.push_back(one);
  } else {
    runs = {{true, 256000, 512ll << 20, true},
            {true, 256000, 512ll << 20, false},
            {false, 128, 8ll << 20},
            {false, 2048, 64ll << 20},
            {false, 256000, 256ll << 20}};
    for (Run& run : runs) run.size >>= shrink;
  }
  // The transfers log their steps: give them an installation folder.
  std::string root = folder + "/pumpwire-bench-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) return 1;
  setenv("PUMPWIRE_ROOT", root.c_str(), 1);
  platform::CreateDirectories(root + "/LogFiles/");
  const std::string source = folder + "/pumpwire-bench-source";
  const std::string target = folder + "/pumpwire-bench-target";
  const std::string scratch = folder + "/pumpwire-bench-scratch";
  for (const Run& run : runs) {
    MakeSource(source, run.size);
    const double load = LoadAverage();
    const Pair base = MeasureBaseline(run);
    WarmPageCache(scratch, run.size);
    const Pair floor = MeasureBaseline(run, source, target);
    platform::RemoveFile(target);
    WarmPageCache(scratch, run.size);
    const Pair plugin = MeasurePlugin(run, source, target);
    if (platform::FileSize(target).value_or(0) != static_cast<std::uint64_t>(run.size))
      std::printf("the body did not arrive whole\n");
    Report(run, load, plugin, base, floor);
    platform::RemoveFile(target);
  }
  platform::RemoveFile(source);
  platform::RemoveFile(root + "/LogFiles/Pumpwire.log");
  rmdir((root + "/LogFiles").c_str());
  rmdir(root.c_str());
  return 0;
}
