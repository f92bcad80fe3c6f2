// The TCP transport over real loopback sockets.
#include "platform/files.h"
#include "platform/tcp.h"
#include "raw_peer.h"
#include "temp_folder.h"
#include "thread_signals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace pw::platform {
namespace {

constexpr auto& ReadLine = test::RawLine;
constexpr auto& WriteLine = test::RawWrite;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kHost = test::kLoopback;
constexpr char kSecondHost[] = "127.0.0.2";
using test::kWaitMs;

// A connected pair: client made by Connect, server by the listener's Accept.
struct Pair {
  TcpListener listener{kHost, 0};
  TcpConnection client = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection server = Accepted(listener);

  static TcpConnection Accepted(TcpListener& l) {
    auto c = l.Accept(kWaitMs);
    if (!c) throw Error("nothing accepted");
    return std::move(*c);
  }
};

std::uint8_t PatternByte(std::size_t i) {
  std::uint32_t x = static_cast<std::uint32_t>(i) * 2654435761u;
  return static_cast<std::uint8_t>((x >> 13) ^ (i >> 20));
}

template <class Fn>
std::chrono::milliseconds Timed(Fn fn) {
  const auto start = Clock::now();
  fn();
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// --------------------------------------------------------------------------
// One connection

TEST(TcpConnection, ConnectsAndCarriesBytesBothWays) {
  Pair p;
  EXPECT_EQ(p.client.PeerAddress(), kHost);
  EXPECT_EQ(p.client.PeerPort(), p.listener.Port());
  EXPECT_EQ(p.server.PeerAddress(), kHost);
  EXPECT_EQ(p.server.PeerPort(), p.client.LocalPort());
  EXPECT_EQ(p.server.LocalAddress(), kHost);
  EXPECT_TRUE(p.client.Connected());
  EXPECT_TRUE(p.server.Connected());

  WriteLine(p.client, "OK");
  WriteLine(p.client, "second line");
  EXPECT_EQ(ReadLine(p.server), "OK");
  EXPECT_EQ(ReadLine(p.server), "second line");

  const std::string bytes("\0\xff\r\n\x80", 5);
  p.server.Write(bytes);
  std::string got(bytes.size(), '?');
  p.client.ReadExact(got.data(), got.size());
  EXPECT_EQ(got, bytes);
}

TEST(TcpConnection, ConnectResolvesAHostName) {
  TcpListener listener(kHost, 0);
  TcpConnection c = TcpConnection::Connect("localhost", listener.Port(), kWaitMs);
  EXPECT_EQ(c.PeerAddress(), kHost);
}

TEST(TcpConnection, ReadTimesOutAndTheConnectionGoesOn) {
  Pair p;
  p.client.SetReadTimeout(150);
  char byte;
  const auto waited = Timed([&] {
    try {
      p.client.ReadSome(&byte, 1);
      ADD_FAILURE() << "read returned without data";
    } catch (const ReadTimeout& e) {
      EXPECT_STREQ(e.what(), "Read Timeout");
    }
  });
  EXPECT_GE(waited, 150ms);
  EXPECT_THROW(p.client.ReadByte(), ReadTimeout);
  EXPECT_TRUE(p.client.Connected());

  // A later answer is still read in full.
  WriteLine(p.server, "late");
  EXPECT_EQ(ReadLine(p.client), "late");
}

TEST(TcpConnection, PeerCloseComesAfterTheDataSentBeforeIt) {
  Pair p;
  p.server.Write("abc");
  p.server.Disconnect();
  p.server.Disconnect();  // idempotent

  ASSERT_TRUE(p.client.WaitReadable(kWaitMs));
  EXPECT_TRUE(p.client.Connected()) << "unread data counts as connected";
  EXPECT_EQ(p.client.ReadByte(), 'a');
  char rest[8];
  EXPECT_EQ(p.client.ReadSome(rest, sizeof rest), 2u);
  EXPECT_EQ(std::string(rest, 2), "bc");
  try {
    p.client.ReadByte();
    ADD_FAILURE() << "read past the peer's close";
  } catch (const ConnectionClosed& e) {
    EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(p.client.Connected());
  EXPECT_TRUE(p.client.WaitReadable(0)) << "a read would not wait: it raises at once";
  EXPECT_THROW(p.client.ReadByte(), ConnectionClosed);
}

TEST(TcpConnection, ConnectedNoticesThePeerCloseWithoutReading) {
  Pair p;
  p.server.Disconnect();
  ASSERT_TRUE(p.client.WaitReadable(kWaitMs));
  EXPECT_FALSE(p.client.Connected());
}

TEST(TcpConnection, WaitReadableSeesSocketAndBufferedData) {
  Pair p;
  EXPECT_FALSE(p.client.WaitReadable(0));
  const auto waited = Timed([&] { EXPECT_FALSE(p.client.WaitReadable(60)); });
  EXPECT_GE(waited, 60ms);

  p.server.Write("xyz");
  EXPECT_TRUE(p.client.WaitReadable(kWaitMs));
  EXPECT_EQ(p.client.ReadByte(), 'x');
  // The rest now sits in the receive buffer, not in the socket.
  EXPECT_TRUE(p.client.WaitReadable(0));
  EXPECT_EQ(p.client.ReadByte(), 'y');
  EXPECT_EQ(p.client.ReadByte(), 'z');
  EXPECT_FALSE(p.client.WaitReadable(0));
}

TEST(TcpConnection, DisconnectFromAnotherThreadEndsAWaitingRead) {
  Pair p;
  test::Latch reading(1);
  std::promise<std::string> outcome;
  std::thread reader([&] {
    reading.count_down();
    try {
      p.client.ReadByte();  // no read limit
      outcome.set_value("returned");
    } catch (const ConnectionClosed&) {
      outcome.set_value("closed");
    } catch (const std::exception& e) {
      outcome.set_value(e.what());
    }
  });
  reading.wait();
  p.client.Disconnect();
  reader.join();
  EXPECT_EQ(outcome.get_future().get(), "closed");

  EXPECT_FALSE(p.client.Connected());
  try {
    p.client.Write("x");
    ADD_FAILURE() << "write after Disconnect";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Not Connected.");
  }
  EXPECT_THROW(p.server.ReadByte(), ConnectionClosed) << "the peer sees the close";
}

TEST(TcpConnection, DisconnectFromAnotherThreadEndsAWaitingWrite) {
  // The peer never reads: the write fills both sides' buffers and waits.
  Pair p;
  const std::string body(64u << 20, 'w');
  test::Latch writing(1);
  std::promise<std::string> outcome;
  std::thread writer([&] {
    writing.count_down();
    try {
      p.client.Write(body);
      outcome.set_value("returned");
    } catch (const Error& e) {
      outcome.set_value(e.what());
    }
  });
  writing.wait();
  p.client.Disconnect();
  writer.join();
  EXPECT_EQ(outcome.get_future().get(), "Not Connected.");
}

TEST(TcpConnection, CancelledConnectGivesUpThoughItHasNoTimeLimit) {
  // As in the time limit test, a full queue makes a connect wait; the flag
  // is already up, so the first look ends it.
  TcpListener full(kHost, 0, 0);
  const std::atomic<bool> cancelled{true};
  std::vector<TcpConnection> queued;
  bool gave_up = false;
  for (int attempt = 0; attempt < 16 && !gave_up; ++attempt) {
    try {
      queued.push_back(TcpConnection::Connect(kHost, full.Port(), 0, &cancelled));
    } catch (const Error& e) {
      gave_up = true;
      EXPECT_NE(std::string(e.what()).find("anceled"), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(gave_up);
}

TEST(TcpConnection, UnreadBytesComeBackBeforeTheBufferedOnes) {
  TcpListener listener(kHost, 0);
  TcpConnection client = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection server = std::move(*listener.Accept(kWaitMs));
  server.SetReadTimeout(kWaitMs);
  client.Write("0123456789");
  char head[4];
  server.ReadExact(head, 4);   // "4567..." stays buffered behind the read
  server.Unread("0123");       // room before the read position
  server.Unread("xy");         // no room left before it: the rest moves up
  std::string all(12, '\0');
  server.ReadExact(all.data(), all.size());
  EXPECT_EQ(all, "xy0123456789");
  EXPECT_THROW(server.Unread(std::string(TcpConnection::kBufferSize + 1, 'z')), Error);
}

TEST(TcpConnection, MovedConnectionKeepsItsStateAndBuffer) {
  Pair p;
  p.server.Write("12");
  EXPECT_EQ(p.client.ReadByte(), '1');  // '2' stays buffered

  TcpConnection moved = std::move(p.client);
  EXPECT_FALSE(p.client.Connected());
  EXPECT_THROW(p.client.ReadByte(), ConnectionClosed);
  EXPECT_EQ(moved.ReadByte(), '2');
  WriteLine(moved, "after move");
  EXPECT_EQ(ReadLine(p.server), "after move");

  TcpConnection never;
  EXPECT_FALSE(never.Connected());
  EXPECT_THROW(never.ReadByte(), ConnectionClosed);
  EXPECT_THROW(never.Write("x"), Error);
  moved = std::move(never);  // closes the old connection
  EXPECT_THROW(p.server.ReadByte(), ConnectionClosed);
}

TEST(TcpConnection, ConnectFailures) {
  int free_port;
  {
    TcpListener gone(kHost, 0);
    free_port = gone.Port();
  }
  try {
    TcpConnection::Connect(kHost, free_port, kWaitMs);
    ADD_FAILURE() << "connected to a closed port";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(std::to_string(free_port)), std::string::npos) << e.what();
  }
  EXPECT_THROW(TcpConnection::Connect(kHost, 0, kWaitMs), Error);
  EXPECT_THROW(TcpConnection::Connect(kHost, 70000, kWaitMs), Error);
}

TEST(TcpConnection, ConnectGivesUpAtItsTimeLimit) {
  // A listener that never accepts, with no room in its queue: once the queue
  // is full the system drops further handshakes, so a connect waits.
  TcpListener full(kHost, 0, 0);
  std::vector<TcpConnection> queued;
  bool timed_out = false;
  for (int attempt = 0; attempt < 16 && !timed_out; ++attempt) {
    const auto start = Clock::now();
    try {
      queued.push_back(TcpConnection::Connect(kHost, full.Port(), 200));
    } catch (const Error& e) {
      timed_out = true;
      EXPECT_GE(Clock::now() - start, 200ms);
      EXPECT_NE(std::string(e.what()).find("timed out"), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(timed_out);
}

TEST(TcpConnection, LargeBodyArrivesIntactBothWays) {
  constexpr std::size_t kSize = 64u << 20;
  std::vector<std::uint8_t> body(kSize);
  for (std::size_t i = 0; i < kSize; ++i) body[i] = PatternByte(i);

  Pair p;
  std::promise<std::string> peer_result;
  std::thread peer([&] {
    try {
      // Reads in pieces of every size class: single bytes and small reads
      // from the buffer, large ones that go past it.
      std::vector<std::uint8_t> got(kSize);
      const std::size_t pieces[] = {1, 7, 1000, 65536, 65537, 3u << 20};
      std::size_t at = 0;
      for (int k = 0; at < kSize; ++k) {
        const std::size_t want = std::min(pieces[k % 6], kSize - at);
        if (want == 1) got[at++] = p.server.ReadByte();
        else at += p.server.ReadSome(got.data() + at, want);
      }
      if (got != body) throw Error("body differs");
      p.server.WriteAll(got.data(), got.size());
      peer_result.set_value("ok");
    } catch (const std::exception& e) {
      peer_result.set_value(e.what());
    }
  });

  p.client.WriteAll(body.data(), body.size());
  std::vector<std::uint8_t> back(kSize);
  back[0] = p.client.ReadByte();
  p.client.ReadExact(back.data() + 1, kSize - 1);
  peer.join();
  EXPECT_EQ(peer_result.get_future().get(), "ok");
  EXPECT_TRUE(back == body);
}

// --------------------------------------------------------------------------
// The server

TEST(TcpServer, ServesEveryConnectionOnAThreadOfItsOwn) {
  std::atomic<int> served{0};
  TcpServer server([&](TcpConnection& c) {
    ++served;
    WriteLine(c, "OK");
    for (;;) WriteLine(c, ReadLine(c) + "!");  // until the peer closes
  });
  EXPECT_FALSE(server.Active());
  server.Activate(0);
  ASSERT_TRUE(server.Active());
  ASSERT_NE(server.Port(), 0);

  // The first handler is still busy with its connection while the second
  // is served.
  TcpConnection a = TcpConnection::Connect(kHost, server.Port(), kWaitMs);
  TcpConnection b = TcpConnection::Connect(kHost, server.Port(), kWaitMs);
  EXPECT_EQ(ReadLine(a), "OK");
  EXPECT_EQ(ReadLine(b), "OK");
  WriteLine(b, "to b");
  WriteLine(a, "to a");
  EXPECT_EQ(ReadLine(a), "to a!");
  EXPECT_EQ(ReadLine(b), "to b!");
  EXPECT_EQ(served.load(), 2);
  EXPECT_EQ(server.ConnectionThreads(), 2u);

  server.Activate(server.Port() + 1);  // already active: nothing changes
  EXPECT_EQ(server.Port(), a.PeerPort());
}

TEST(TcpServer, HandlerFailureEndsOnlyItsConnection) {
  TcpServer server([](TcpConnection& c) {
    const std::string line = ReadLine(c);
    if (line == "fail") throw Error("handler failed");
    if (line == "odd") throw 42;
    WriteLine(c, "served " + line);
  });
  server.Activate(0, {kHost});
  for (const char* line : {"fail", "odd", "fine"}) {
    TcpConnection c = TcpConnection::Connect(kHost, server.Port(), kWaitMs);
    WriteLine(c, line);
    if (std::string(line) == "fine") {
      EXPECT_EQ(ReadLine(c), "served fine");
    }
    EXPECT_THROW(ReadLine(c), ConnectionClosed) << "the server closes after the handler";
  }
  EXPECT_TRUE(server.Active());
}

TEST(TcpServer, ClosingWithUnreadInputStillEndsInAnOrderlyClose) {
  // A refusal: the server answers and closes while input it never read
  // waits in its socket. The client must get the answer and then an orderly
  // close, not a reset.
  TcpServer server([](TcpConnection& c) {
    ReadLine(c);
    WriteLine(c, "PASS");
    c.WaitReadable(kWaitMs);  // the client's next line has arrived, unread
  });
  server.Activate(0, {kHost});
  TcpConnection c = TcpConnection::Connect(kHost, server.Port(), kWaitMs);
  WriteLine(c, "wrong password");
  EXPECT_EQ(ReadLine(c), "PASS");
  WriteLine(c, "a line the server never reads");
  EXPECT_THROW(c.ReadByte(), ConnectionClosed);
}

TEST(TcpServer, FinishedThreadsAreJoinedBeforeTheNextConnectionIsServed) {
  TcpServer* self = nullptr;
  TcpServer server([&](TcpConnection& c) {
    c.Write(std::string(1, static_cast<char>(self->ConnectionThreads())));
  });
  self = &server;
  server.Activate(0, {kHost});
  for (int i = 0; i < 20; ++i) {
    TcpConnection c = TcpConnection::Connect(kHost, server.Port(), kWaitMs);
    EXPECT_EQ(c.ReadByte(), 1) << "connection " << i;
    EXPECT_THROW(c.ReadByte(), ConnectionClosed);
  }
}

TEST(TcpServer, DeactivateEndsBlockedHandlersAndJoinsThem) {
  constexpr int kClients = 3;
  const std::size_t threads_before = TcpServer::ThreadsInProcess();
  test::Latch reading(kClients);
  std::atomic<int> closed_reads{0};
  TcpServer server([&](TcpConnection& c) {
    reading.count_down();
    try {
      c.ReadByte();  // the client never writes; no read limit
    } catch (const ConnectionClosed&) {
      ++closed_reads;
    }
  });
  server.Activate(0, {kHost});
  const int port = server.Port();
  std::vector<TcpConnection> clients;
  for (int i = 0; i < kClients; ++i) clients.push_back(TcpConnection::Connect(kHost, port, kWaitMs));
  reading.wait();
  EXPECT_EQ(TcpServer::ThreadsInProcess(), threads_before + 1 + kClients);  // accept + one each

  server.Deactivate();
  EXPECT_EQ(closed_reads.load(), kClients);
  EXPECT_EQ(server.ConnectionThreads(), 0u);
  EXPECT_EQ(TcpServer::ThreadsInProcess(), threads_before);
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.Port(), 0);
  for (TcpConnection& c : clients) EXPECT_THROW(c.ReadByte(), ConnectionClosed);
  EXPECT_THROW(TcpConnection::Connect(kHost, port, kWaitMs), Error) << "still listening";
  server.Deactivate();  // not active: nothing to do
}

TEST(TcpServer, DeactivateFromAHandlerIsRefused) {
  TcpServer* self = nullptr;
  TcpServer server([&](TcpConnection& c) {
    try {
      self->Deactivate();
      WriteLine(c, "stopped");
    } catch (const Error&) {
      WriteLine(c, "refused");
    }
  });
  self = &server;
  server.Activate(0, {kHost});
  TcpConnection c = TcpConnection::Connect(kHost, server.Port(), kWaitMs);
  EXPECT_EQ(ReadLine(c), "refused");
  EXPECT_TRUE(server.Active());
}

TEST(TcpServer, ListensOnEachBoundAddressOnly) {
  auto tell_address = [](TcpConnection& c) { WriteLine(c, c.LocalAddress()); };

  TcpServer both(tell_address);
  both.Activate(0, {kHost, kSecondHost});
  for (const char* host : {kHost, kSecondHost}) {
    TcpConnection c = TcpConnection::Connect(host, both.Port(), kWaitMs);
    EXPECT_EQ(ReadLine(c), host);
  }
  const int port = both.Port();
  both.Deactivate();

  // One server per address, on the same port.
  TcpServer first(tell_address), second(tell_address);
  first.Activate(port, {kHost});
  EXPECT_THROW(TcpConnection::Connect(kSecondHost, port, kWaitMs), Error);
  second.Activate(port, {kSecondHost});
  for (const char* host : {kHost, kSecondHost}) {
    TcpConnection c = TcpConnection::Connect(host, port, kWaitMs);
    EXPECT_EQ(ReadLine(c), host);
  }
}

TEST(TcpServer, NoBindingsMeansEveryAddress) {
  TcpServer server([](TcpConnection& c) { WriteLine(c, c.LocalAddress()); });
  server.Activate(0);
  for (const char* host : {kHost, kSecondHost}) {
    TcpConnection c = TcpConnection::Connect(host, server.Port(), kWaitMs);
    EXPECT_EQ(ReadLine(c), host);
  }
}

TEST(TcpServer, ActivatesAgainOnTheSamePortAfterDeactivate) {
  TcpServer server([](TcpConnection& c) { WriteLine(c, "OK"); });
  server.Activate(0, {kHost});
  const int port = server.Port();
  {
    // The server closes first, so its end of this connection lingers.
    TcpConnection c = TcpConnection::Connect(kHost, port, kWaitMs);
    EXPECT_EQ(ReadLine(c), "OK");
    EXPECT_THROW(c.ReadByte(), ConnectionClosed);
  }
  server.Deactivate();
  server.Activate(port, {kHost});
  ASSERT_TRUE(server.Active());
  EXPECT_EQ(server.Port(), port);
  TcpConnection c = TcpConnection::Connect(kHost, port, kWaitMs);
  EXPECT_EQ(ReadLine(c), "OK");
}

TEST(TcpServer, FailedActivateLeavesNothingListening) {
  TcpListener taken(kHost, 0);
  const int port = taken.Port();
  TcpServer server([](TcpConnection& c) { WriteLine(c, "OK"); });

  EXPECT_THROW(server.Activate(port, {kHost}), Error);
  EXPECT_FALSE(server.Active());
  // The first address binds, the second cannot: the first is let go again.
  EXPECT_THROW(server.Activate(port, {kSecondHost, kHost}), Error);
  EXPECT_FALSE(server.Active());
  EXPECT_THROW(TcpConnection::Connect(kSecondHost, port, kWaitMs), Error);
  EXPECT_THROW(server.Activate(port, {"not an address"}), Error);

  server.Activate(port, {kSecondHost});
  TcpConnection c = TcpConnection::Connect(kSecondHost, port, kWaitMs);
  EXPECT_EQ(ReadLine(c), "OK");
}

// --------------------------------------------------------------------------
// The machine

// Descriptors this process holds open, as the OS lists them.
std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// Every owner of a socket or file gives it back: after use, after a failure
// half-way (a port taken, a file missing), and after a move.
TEST(Descriptors, NoneOutlivesItsOwner) {
  test::TempFolder root;
  const auto round = [&] {
    TcpListener listener(kHost, 0);
    EXPECT_THROW(TcpListener(kHost, listener.Port()), Error);  // port taken
    TcpConnection client = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
    TcpConnection server = std::move(*listener.Accept(kWaitMs));
    TcpConnection moved;
    moved = std::move(client);
    moved.Disconnect();

    TcpServer serving([](TcpConnection&) {});
    serving.Activate(0, {kHost});
    TcpConnection::Connect(kHost, serving.Port(), kWaitMs);
    serving.Deactivate();

    { WritableFile out(root / "f"); out.Write("abc", 3); }
    { WritableFile closed(root / "g"); closed.Close(); }
    { ReadableFile in(root / "f"); char b[4]; EXPECT_EQ(in.Read(b, sizeof b), 3u); }
    EXPECT_THROW(ReadableFile(root / "missing"), Error);
  };
  // The first round may open the system's own files for good (Wine's
  // libraries, loaded on first use); afterwards a leak grows every round,
  // while the system's idle thread pool may still hold a few of its own.
  round();
  constexpr int kRounds = 50;
  const std::size_t before = OpenDescriptors();
  for (int i = 0; i < kRounds; ++i) round();
  EXPECT_LT(OpenDescriptors(), before + kRounds / 2);
}

TEST(LocalMachine, AddressesAndHostName) {
  const std::vector<std::string> addresses = LocalIpAddresses();
  ASSERT_FALSE(addresses.empty());
  bool seen_loopback = false;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::string& a = addresses[i];
    const bool loopback = a.rfind("127.", 0) == 0;
    EXPECT_FALSE(seen_loopback && !loopback) << a << " listed after a loopback address";
    seen_loopback = seen_loopback || loopback;
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(addresses[j], a);
  }
  EXPECT_TRUE(seen_loopback);
  EXPECT_FALSE(LocalHostName().empty());
}

}  // namespace
}  // namespace pw::platform
