// What keeps a listener whole under hostile peers, over real loopback
// sockets: one deadline for a run of reads, a pause that a stop cuts short,
// keep-alive on accepted sockets, the caps on connections with their one
// report per burst, and the room made at a cap.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp.h"
#include "raw_peer.h"
#include "thread_signals.h"
#include "sync/mutex.h"

namespace pw::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::kLoopback;
using test::kWaitMs;

struct Pair {
  TcpListener listener{kLoopback, 0};
  TcpConnection client = TcpConnection::Connect(kLoopback, listener.Port(), kWaitMs);
  TcpConnection server = std::move(listener.Accept(kWaitMs).value());
};

// Bytes already on the socket are refused once the deadline has passed:
// a limit per wait would hand them over, and a peer that sends a byte
// just before each wait ends would never be cut.
TEST(TcpDeadline, OncePassedNoReadWaitsAndClearingItReadsAgain) {
  Pair p;
  p.server.SetDeadline(20);
  p.client.Write("ab");
  ASSERT_TRUE(p.server.WaitReadable(kWaitMs));
  std::this_thread::sleep_for(30ms);  // the deadline passes with the bytes waiting
  EXPECT_THROW(p.server.ReadByte(), ReadTimeout);
  p.server.SetDeadline(0);
  EXPECT_EQ(p.server.ReadByte(), 'a');
  EXPECT_EQ(p.server.ReadByte(), 'b');
}

TEST(TcpDeadline, ATrickleWithinEveryReadLimitIsCutAtTheDeadline) {
  Pair p;
  p.server.SetReadTimeout(kWaitMs);  // each wait alone would let every byte through
  const auto start = Clock::now();
  p.server.SetDeadline(300);
  std::optional<test::TricklingPeer> trickle(std::in_place, p.client);
  int got = 0;
  EXPECT_THROW(
      for (;;) {
        p.server.ReadByte();
        ++got;
      },
      ReadTimeout);
  const auto took = Clock::now() - start;
  trickle.reset();
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, std::chrono::milliseconds(kWaitMs));
  EXPECT_GT(got, 0);
}

TEST(TcpPause, PeerBytesDoNotEndItAndADisconnectDoes) {
  Pair p;
  p.client.Write("noise");
  const auto start = Clock::now();
  EXPECT_TRUE(p.server.Pause(100));
  EXPECT_GE(Clock::now() - start, 100ms);

  test::Latch pausing(1);
  std::thread stopper([&] {
    pausing.wait();
    p.server.Disconnect();
  });
  const auto cut = Clock::now();
  pausing.count_down();
  EXPECT_FALSE(p.server.Pause(kWaitMs));
  EXPECT_LT(Clock::now() - cut, std::chrono::milliseconds(kWaitMs / 2));
  stopper.join();
  EXPECT_FALSE(p.server.Pause(10)) << "already disconnected";
}

TEST(TcpKeepAlive, AcceptedConnectionsProbeASilentPeerWithinMinutes) {
  Pair p;
  const TcpConnection::KeepAlive k = p.server.KeepAliveInForce();
  EXPECT_TRUE(k.on);
  // A system that cannot tell the times reports 0 (Windows); one that can
  // (Linux: 7200 s unless set) must show ours.
  if (k.idle_s != 0) {
    EXPECT_EQ(k.idle_s, kKeepAliveIdleS);
    EXPECT_EQ(k.interval_s, kKeepAliveIntervalS);
    EXPECT_EQ(k.probes, kKeepAliveProbes);
  }
  EXPECT_LE(kKeepAliveIdleS + kKeepAliveIntervalS * kKeepAliveProbes, 300);

  TcpServer server([](TcpConnection& c) {
    const auto k = c.KeepAliveInForce();
    c.Write(k.on && (k.idle_s == 0 || k.idle_s == kKeepAliveIdleS) ? "on" : "off");
  });
  server.Activate(0, {kLoopback});
  TcpConnection c = TcpConnection::Connect(kLoopback, server.Port(), kWaitMs);
  char answer[2];
  c.ReadExact(answer, 2);
  EXPECT_EQ(std::string(answer, 2), "on");
  EXPECT_FALSE(TcpConnection().KeepAliveInForce().on);
}

// A server whose handlers hold their connection until released, and the
// refusal reports it made.
class CappedServer : public ::testing::Test {
 protected:
  CappedServer()
      : server_(
            [this](TcpConnection& c) {
              served_.release();
              c.WaitReadable(-1);  // until the client closes or the server stops
            },
            [this](const TcpServer::Refusals& r) {
              MutexLock lock(mu_);
              reports_.push_back(r);
              changed_.notify_all();
            }) {}

  void Start(TcpServer::Limits limits) {
    server_.SetLimits(limits);
    server_.Activate(0, {kLoopback});
  }
  TcpConnection Served() {
    TcpConnection c = TcpConnection::Connect(kLoopback, server_.Port(), kWaitMs);
    EXPECT_TRUE(served_.try_acquire_for(std::chrono::milliseconds(kWaitMs)));
    return c;
  }
  // A connection closed at once: the peer sees the close, not a wait.
  void Refused() {
    TcpConnection c = TcpConnection::Connect(kLoopback, server_.Port(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_TRUE(test::SeesClose(c));
  }
  std::vector<TcpServer::Refusals> WaitForReports(std::size_t n) {
    MutexLock lock(mu_);
    changed_.wait_for(mu_, std::chrono::milliseconds(kWaitMs), [&] { return reports_.size() >= n; });
    return reports_;
  }
  // The connection threads come down to n (a finished one is joined when
  // the accept thread next wakes).
  bool ThreadsDownTo(std::size_t n) {
    const auto until = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (server_.ConnectionThreads() > n && Clock::now() < until) std::this_thread::sleep_for(1ms);
    return server_.ConnectionThreads() == n;
  }

  test::Semaphore served_;
  Mutex mu_;
  std::condition_variable_any changed_;
  std::vector<TcpServer::Refusals> reports_;
  TcpServer server_;
};

TEST_F(CappedServer, PastThePerAddressCapConnectionsAreClosedAtOnceAndReportedOncePerBurst) {
  Start({100, 2});
  std::vector<TcpConnection> held;
  held.push_back(Served());
  held.push_back(Served());
  for (int i = 0; i < 5; ++i) Refused();
  EXPECT_EQ(server_.ConnectionThreads(), 2u) << "a refused connection starts no thread";

  const auto reports = WaitForReports(2);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_FALSE(reports[0].burst_over);
  EXPECT_TRUE(reports[0].per_address);
  EXPECT_EQ(reports[0].first_address, kLoopback);
  EXPECT_EQ(reports[0].limit, 2u);
  EXPECT_TRUE(reports[1].burst_over);
  EXPECT_EQ(reports[1].refused, 5u);

  // One held connection ends: the next station is served, and a new burst
  // is reported anew.
  held.pop_back();
  ASSERT_TRUE(ThreadsDownTo(1));
  held.push_back(Served());
  Refused();
  EXPECT_EQ(WaitForReports(3).size(), 3u);
  server_.Deactivate();  // ends the burst under way
  const auto all = WaitForReports(4);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_TRUE(all[3].burst_over);
  EXPECT_EQ(all[3].refused, 1u);
}

TEST_F(CappedServer, PastTheTotalCapEveryAddressIsRefused) {
  Start({1, 100});
  TcpConnection held = Served();
  Refused();
  const auto reports = WaitForReports(1);
  ASSERT_FALSE(reports.empty());
  EXPECT_FALSE(reports[0].per_address);
  EXPECT_EQ(reports[0].limit, 1u);
  EXPECT_EQ(server_.ConnectionThreads(), 1u);
}

TEST_F(CappedServer, ARaisedPerAddressCapServesManyStationsFromOneAddress) {
  constexpr int kStations = 40;
  Start({kStations, kStations});
  std::vector<TcpConnection> held;
  for (int i = 0; i < kStations; ++i) held.push_back(Served());
  EXPECT_EQ(server_.ConnectionThreads(), static_cast<std::size_t>(kStations));
  MutexLock lock(mu_);
  EXPECT_TRUE(reports_.empty());
}

// A server whose handlers move their connection from phase to phase as the
// client asks, one byte at a time: 'w' waiting, 'b' busy (each answered
// '1', or '0' when the server has taken the connection away); 'x' closes
// it and 'h' answers '1', and each then holds the thread without reading,
// as a handler waiting for the main thread.
class PhasedServer : public ::testing::Test {
 protected:
  PhasedServer()
      : phased_(
            [this](TcpConnection& c) {
              served_.release();
              try {
                for (;;) {
                  const char asked = static_cast<char>(c.ReadByte());
                  if (asked == 'x' || asked == 'h') {
                    if (asked == 'x') c.Disconnect();
                    else c.Write("1");
                    held_.try_acquire_for(std::chrono::milliseconds(kWaitMs));
                    return;
                  }
                  const auto phase = asked == 'w' ? TcpServer::Phase::kWaiting : TcpServer::Phase::kBusy;
                  c.Write(phased_.SetPhase(c, phase) ? "1" : "0");
                }
              } catch (const Error&) {
                // closed: the handler ends
              }
            },
            [this](const TcpServer::Refusals& r) {
              MutexLock lock(mu_);
              reports_.push_back(r);
            }) {}
  ~PhasedServer() override {
    held_.release(100);
    phased_.Deactivate();
  }

  void Start(TcpServer::Limits limits) {
    phased_.SetLimits(limits);
    phased_.Activate(0, {kLoopback});
  }
  TcpConnection Served() {
    TcpConnection c = TcpConnection::Connect(kLoopback, phased_.Port(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_TRUE(served_.try_acquire_for(std::chrono::milliseconds(kWaitMs)));
    return c;
  }
  static std::string Move(TcpConnection& c, char phase) {
    c.Write(std::string(1, phase));
    return std::string(1, static_cast<char>(c.ReadByte()));
  }
  static bool Closed(TcpConnection& c) { return test::SeesClose(c); }
  std::vector<TcpServer::Refusals> Reports() {
    MutexLock lock(mu_);
    return reports_;
  }

  test::Semaphore served_;
  test::Semaphore held_;
  Mutex mu_;
  std::vector<TcpServer::Refusals> reports_ GUARDED_BY(mu_);
  TcpServer phased_;
};

TEST_F(PhasedServer, AtTheCapTheConnectionIdleLongestMakesRoomAndABusyOneNever) {
  Start({3, 100, 100});
  TcpConnection first_idle = Served();
  ASSERT_EQ(Move(first_idle, 'w'), "1");
  TcpConnection busy = Served();
  ASSERT_EQ(Move(busy, 'b'), "1");
  TcpConnection second_idle = Served();
  ASSERT_EQ(Move(second_idle, 'w'), "1");

  TcpConnection newcomer = Served();
  EXPECT_TRUE(Closed(first_idle)) << "idle longest";
  EXPECT_EQ(Move(busy, 'b'), "1");
  TcpConnection next = Served();
  EXPECT_TRUE(Closed(second_idle));
  EXPECT_EQ(Move(busy, 'b'), "1") << "a busy connection is never the one closed";

  // Busy and in their handshake: no room to make.
  TcpConnection refused = TcpConnection::Connect(kLoopback, phased_.Port(), kWaitMs);
  refused.SetReadTimeout(kWaitMs);
  EXPECT_TRUE(Closed(refused));
  EXPECT_EQ(Move(newcomer, 'w'), "1");

  // The closes for room are reported apart from the refusal, in bursts.
  phased_.Deactivate();  // ends the bursts under way
  std::size_t firsts = 0, closed = 0, refusals = 0;
  for (const TcpServer::Refusals& r : Reports()) {
    if (!r.made_room) {
      refusals += r.burst_over ? r.refused : 0;
      continue;
    }
    if (r.burst_over) {
      closed += r.refused;
      continue;
    }
    ++firsts;
    EXPECT_EQ(r.first_address, kLoopback);
    EXPECT_EQ(r.limit, 3u);
    EXPECT_FALSE(r.per_address);
  }
  EXPECT_GE(firsts, 1u);
  EXPECT_EQ(closed, 2u);
  EXPECT_EQ(refusals, 1u);
}

TEST_F(PhasedServer, PastTheHandshakeShareTheOldestHandshakeMakesRoom) {
  Start({10, 10, 2});
  TcpConnection oldest = Served();
  TcpConnection past = Served();
  ASSERT_EQ(Move(past, 'w'), "1");
  TcpConnection second = Served();
  TcpConnection third = Served();
  EXPECT_TRUE(Closed(oldest));
  TcpConnection fourth = Served();
  EXPECT_TRUE(Closed(second));
  EXPECT_EQ(Move(past, 'w'), "1") << "a connection past its handshake keeps its place";
  EXPECT_EQ(Move(third, 'b'), "1");
  EXPECT_EQ(Move(fourth, 'b'), "1");
}

// A handler still running after its connection closed at either end
// (waiting for the main thread to take its log lines) no longer holds its
// address's place.
TEST_F(PhasedServer, AConnectionIsCountedOutWhenItsSocketClosesNotWhenItsHandlerEnds) {
  Start({1, 1});
  TcpConnection closed_here = Served();
  closed_here.Write("x");
  ASSERT_TRUE(Closed(closed_here));
  {
    TcpConnection closed_there = Served();
    ASSERT_EQ(Move(closed_there, 'h'), "1");
  }
  TcpConnection next = Served();
  EXPECT_EQ(Move(next, 'w'), "1");
  EXPECT_EQ(phased_.ConnectionThreads(), 3u) << "both earlier handlers still run";
}

}  // namespace
}  // namespace pw::platform
