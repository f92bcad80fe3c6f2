// bench/transfer: moves one file body between two real sessions on loopback
// and compares it with a baseline measured in the same run by this program:
// a plain socket stream of the same bytes (fast transfer) or a plain
// packet / 4-byte-reply ping-pong with the same packet size (acknowledged
// transfer). Each end runs in a process of its own, so each end's peak RSS
// is its own.
//
//   transfer [--size MiB] [--packet B] [--mode fast|ack] [--folder DIR] [--quick]
//
// Without options it runs the standard table: fast 256 MiB with B = 256000,
// acknowledged B = 128 (8 MiB), 2048 (64 MiB) and 256000 (256 MiB).
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
};

struct EndReport {
  double seconds = 0;
  long peak_rss_kib = 0;
};

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Runs fn in a child process; returns its seconds and peak RSS.
template <typename Fn>
pid_t Child(int report_fd, Fn fn) {
  const pid_t pid = fork();
  if (pid == 0) {
    const auto start = Clock::now();
    fn();
    EndReport r{std::chrono::duration<double>(Clock::now() - start).count(), PeakRssKib()};
    if (write(report_fd, &r, sizeof r) != sizeof r) _exit(2);
    _exit(0);
  }
  return pid;
}

EndReport Collect(pid_t pid, int fd) {
  EndReport r;
  if (read(fd, &r, sizeof r) != sizeof r) std::fprintf(stderr, "an end failed\n");
  int status = 0;
  waitpid(pid, &status, 0);
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
protocol::TransferSite QuietSite(const WireContext& wire) {
  protocol::TransferSite site(wire);
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
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t receiver = Child(fds[1], [&] {
    Configure(run);
    auto c = listener.Accept(-1);
    WithMainThread([&] {
      protocol::Session s(*c);
      const WireContext wire = CurrentWireContext();
      protocol::ReceiveBody(s, static_cast<std::int32_t>(run.size), target, QuietSite(wire),
                            interactive::ProgressWindows());
    });
  });
  const pid_t sender = Child(fds[1], [&] {
    Configure(run);
    auto c = platform::TcpConnection::Connect("127.0.0.1", port, 10000);
    WithMainThread([&] {
      protocol::Session s(c);
      const WireContext wire = CurrentWireContext();
      protocol::SendBody(s, source, static_cast<std::int32_t>(run.size), QuietSite(wire),
                         interactive::ProgressWindows());
    });
  });
  Pair p;
  // Reports come in the order the ends finish; match them by pid order.
  EndReport a = Collect(receiver, fds[0]);
  EndReport b = Collect(sender, fds[0]);
  p.receiver = a;
  p.sender = b;
  close(fds[0]);
  close(fds[1]);
  return p;
}

// Plain stream or plain ping-pong, the bare socket cost of the same bytes.
// With files, the sender also reads the source and the receiver writes the
// target, piece by piece: the floor that any file transfer stands on.
Pair MeasureBaseline(const Run& run, const std::string& source = {}, const std::string& target = {}) {
  const bool files = !source.empty();
  platform::TcpListener listener("127.0.0.1", 0);
  const int port = listener.Port();
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const std::size_t piece = run.fast ? 256 * 1024 : static_cast<std::size_t>(run.packet);
  const pid_t receiver = Child(fds[1], [&] {
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
  const pid_t sender = Child(fds[1], [&] {
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
  p.receiver = Collect(receiver, fds[0]);
  p.sender = Collect(sender, fds[0]);
  close(fds[0]);
  close(fds[1]);
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

void Report(const Run& run, const Pair& plugin, const Pair& base, const Pair& floor) {
  const double mb = static_cast<double>(run.size) / 1e6;
  std::printf("%-4s B=%-7d %5lld MiB  plug-in %7.1f MB/s  baseline %7.1f MB/s (ratio %.2f)  "
              "baseline+files %7.1f MB/s (ratio %.2f)  peak RSS sender %ld KiB receiver %ld KiB\n",
              run.fast ? "fast" : "ack", run.packet, static_cast<long long>(run.size >> 20),
              mb / plugin.Seconds(), mb / base.Seconds(), base.Seconds() / plugin.Seconds(),
              mb / floor.Seconds(), floor.Seconds() / plugin.Seconds(), plugin.sender.peak_rss_kib,
              plugin.receiver.peak_rss_kib);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Run> runs;
  std::string folder = "/tmp";
  Run one{true, 256000, 256ll << 20};
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
    else if (a == "--folder") folder = v;
  }
  if (custom) {
    runs.push_back(one);
  } else {
    runs = {{true, 256000, 256ll << 20},
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
  for (const Run& run : runs) {
    MakeSource(source, run.size);
    const Pair base = MeasureBaseline(run);
    const Pair floor = MeasureBaseline(run, source, target);
    platform::RemoveFile(target);
    const Pair plugin = MeasurePlugin(run, source, target);
    if (platform::FileSize(target).value_or(0) != static_cast<std::uint64_t>(run.size))
      std::printf("the body did not arrive whole\n");
    Report(run, plugin, base, floor);
    platform::RemoveFile(target);
  }
  platform::RemoveFile(source);
  platform::RemoveFile(root + "/LogFiles/Pumpwire.log");
  rmdir((root + "/LogFiles").c_str());
  rmdir(root.c_str());
  return 0;
}
