// File bodies between a real session and a scripted peer, and between two
// real sessions, over loopback.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <memory>

#include "digest_line.h"
#include "process_state.h"
#include "raw_peer.h"
#include "wire_bytes.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "protocol/body_transfer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "services/wire_context.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/operator.h"
#include "sync/mutex.h"

namespace pw::protocol {
namespace {

using platform::TcpConnection;
using platform::TcpListener;

constexpr const char* kHost = test::kLoopback;
using test::kWaitMs;

// A progress window without a window: counts steps, and can stop the
// transfer after a given step as the operator's Stop would.
// What the test sees of the window, which the transfer frees at its end.
struct ProgressRecord {
  bool opened = false;
  std::vector<std::int32_t> steps;
};

class FakeProgress : public TransferProgress {
 public:
  FakeProgress(ProgressRecord& record, std::int32_t stop_after)
      : record_(record), stop_after_(stop_after) {
    record_.opened = true;
  }
  void Step(std::int32_t n) override {
    record_.steps.push_back(n);
    if (n - 1 == stop_after_) stop_ = true;
  }
  bool StopRequested() const override { return stop_; }
  bool TakeStop() override { return std::exchange(stop_, false); }

 private:
  ProgressRecord& record_;
  std::int32_t stop_after_;
  bool stop_ = false;
};

using test::Int4;
using test::Pattern;
using test::ReadExactly;

class BodyTest : public test::ProcessStateTest {
 protected:
  BodyTest() : ProcessStateTest(MainThread::kNone) {}
  void SetUp() override {
    platform::CreateDirectories(CurrentFolders().log_files);
    client = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
    server = std::move(*listener.Accept(kWaitMs));
    client.SetReadTimeout(kWaitMs);
    server.SetReadTimeout(kWaitMs);
  }

  // Each site is given the settings as they stand when it is made.
  TransferSite Site() {
    MutexLock lock(wires_mu_);
    wires_.push_back(std::make_unique<WireContext>(CurrentWireContext()));
    TransferSite site(*wires_.back());
    site.start_lines = {"start"};
    site.caption = "caption";
    site.success = "stored";
    site.mismatch = [](std::int64_t got) { return "mismatch " + std::to_string(got); };
    site.error_prefix = "error: ";
    return site;
  }
  ProgressFactory Progress(ProgressRecord& record, std::int32_t stop_after = -1) {
    record = {};
    return [&record, stop_after](const std::string&, std::int32_t, std::int32_t) {
      return std::make_unique<FakeProgress>(record, stop_after);
    };
  }
  std::string Log() const { return test::ReadFile(CurrentFolders().log_file); }
  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
      names.push_back(e.path().filename().string());
    return names;
  }

  test::TempFolder root;
  TcpListener listener{kHost, 0};
  TcpConnection client, server;
  ProgressRecord progress;

 private:
  Mutex wires_mu_;  // sites are made on two threads at once
  std::vector<std::unique_ptr<WireContext>> wires_;
};

TEST_F(BodyTest, SenderMovesStepsOf128And128And44EachAcknowledged) {
  test::WriteFile(root / "report.dat", Pattern(300));
  auto peer = std::async(std::launch::async, [&] {
    std::string got;
    for (int i = 1; i <= 3; ++i) {
      got += ReadExactly(client, i < 3 ? 128 : 44);
      client.Write(Int4(i));
    }
    return got;
  });
  Session session(server);
  EXPECT_TRUE(SendBody(session, root / "report.dat", 300, Site(), Progress(progress)));
  EXPECT_EQ(peer.get(), Pattern(300));
  EXPECT_EQ(progress.steps, (std::vector<std::int32_t>{2, 3, 4}));
  EXPECT_NE(Log().find(" - stored\r\n"), std::string::npos);
}

TEST_F(BodyTest, ReceiverAcknowledgesEveryStepIncludingTheEmptyLastOne) {
  for (const std::int32_t size : {300, 256, 0}) {
    SCOPED_TRACE(size);
    const std::string body = Pattern(static_cast<std::size_t>(size));
    auto peer = std::async(std::launch::async, [&] {
      std::string acks;
      const std::int32_t steps = size / 128 + 1;
      for (std::int32_t i = 1; i <= steps; ++i) {
        const std::size_t from = static_cast<std::size_t>(i - 1) * 128;
        client.Write(body.substr(from, i <= size / 128 ? 128 : size % 128));
        acks += ReadExactly(client, 4);
      }
      return acks;
    });
    Session session(server);
    EXPECT_EQ(ReceiveBody(session, size, root / "in.dat", Site(), Progress(progress)), Received::Stored);
    std::string want;
    for (std::int32_t i = 1; i <= size / 128 + 1; ++i) want += Int4(i);
    EXPECT_EQ(peer.get(), want);  // 00 00 00 01, 00 00 00 02, ...
    EXPECT_EQ(test::ReadFile(root / "in.dat"), body);
  }
  EXPECT_EQ(FilesIn(root.path()).size(), 2u);  // in.dat and LogFiles: no temporaries
}

TEST_F(BodyTest, FastTransferSendsNoAcknowledgementsAndPacketSizesMayDiffer) {
  TheSettings().useFastDatTravel = true;
  TheSettings().InetBuffSize = 7;  // the receiver's own B; the peer sends in one piece
  const std::string body = Pattern(1000);
  client.Write(body);
  Session session(server);
  EXPECT_EQ(ReceiveBody(session, 1000, root / "fast.dat", Site(), Progress(progress)), Received::Stored);
  EXPECT_EQ(test::ReadFile(root / "fast.dat"), body);
  EXPECT_EQ(progress.steps.size(), 1000u / 7 + 1);
  EXPECT_FALSE(client.WaitReadable(50));  // nothing came back
}

TEST_F(BodyTest, APeerThatClosesMidBodyLeavesNoFileAndNoTemporary) {
  test::WriteFile(root / "in.dat", "old");
  auto peer = std::async(std::launch::async, [&] {
    client.Write(Pattern(128));
    ReadExactly(client, 4);
    client.Write(Pattern(50));
    client.Disconnect();
  });
  Session session(server);
  EXPECT_EQ(ReceiveBody(session, 300, root / "in.dat", Site(), Progress(progress)), Received::Failed);
  EXPECT_NE(Log().find("error: Connection Closed Gracefully."), std::string::npos);
  peer.get();
  EXPECT_EQ(test::ReadFile(root / "in.dat"), "old");  // the old file stays whole
  EXPECT_EQ(FilesIn(root.path()).size(), 2u);
}

TEST_F(BodyTest, ANegativeSizeFailsBeforeAnyByteAndCloses) {
  Session session(server);
  EXPECT_EQ(ReceiveBody(session, -5, root / "in.dat", Site(), Progress(progress)), Received::Failed);
  EXPECT_FALSE(progress.opened);  // no window was opened
  EXPECT_FALSE(platform::FileExists(root / "in.dat"));
  EXPECT_NE(Log().find(std::string("error: Недопустимый размер файла: -5"_w)), std::string::npos);
  EXPECT_THROW(ReadExactly(client, 1), platform::ConnectionClosed);
}

TEST_F(BodyTest, SingleBlockIsNeverAcknowledgedAndEndsWithTheMark) {
  const std::string body = Pattern(500);
  client.Write(body + "111\r\n");
  Session session(server);
  EXPECT_EQ(ReceiveSingleBlock(session, 500, root / "f.bin", Site(), Progress(progress)), Received::Stored);
  EXPECT_EQ(test::ReadFile(root / "f.bin"), body);
  session.Disconnect();  // the receiving site closes after its notice
  EXPECT_THROW(ReadExactly(client, 1), platform::ConnectionClosed);  // no ack came before the close
}

TEST_F(BodyTest, ASingleBlockCutAfterItsFirstPieceEndsInTheMismatchLine) {
  // A body without a line end in it: reading the end mark through it would
  // run past the longest line.
  const std::string body(20000, 'x');
  client.Write(body + "111\r\n");
  Session session(server);
  EXPECT_EQ(ReceiveSingleBlock(session, 20000, root / "cut.bin", Site(), Progress(progress, /*stop_after=*/1)),
            Received::Mismatch);
  EXPECT_NE(Log().find(" - mismatch 128\r\n"), std::string::npos);
  EXPECT_EQ(Log().find("Max line length exceeded."), std::string::npos);
  EXPECT_EQ(Log().find("SHA-256"), std::string::npos);
  EXPECT_FALSE(platform::FileExists(root / "cut.bin"));
}

TEST_F(BodyTest, CancelClosesThroughTheSitesOwnCloseAndAWholeBodyIsStillStored) {
  client.Write(Pattern(100));
  TheSettings().useFastDatTravel = true;  // one step for 100 bytes of B = 128, no ack
  TransferSite site = Site();
  site.check_cancelled = true;
  int closed = 0;
  site.close_on_cancel = [&](Session& s) {
    ++closed;
    s.Disconnect();
  };
  Session session(server);
  EXPECT_EQ(ReceiveBody(session, 100, root / "whole.dat", site, Progress(progress, /*stop_after=*/1)),
            Received::Cancelled);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(test::ReadFile(root / "whole.dat"), Pattern(100));  // the size check still ran
}

TEST_F(BodyTest, WaitingForTheAnswerGivesUpAfterTheRequestTimeOut) {
  TheSettings().ZaprosTimeOut = 100;
  Session session(server);
  EXPECT_FALSE(WaitForRequestAnswer(CurrentWireContext(), session, nullptr));
  EXPECT_NE(Log().find(std::string("Запрос не обработан. Ошибка: TimeOut"_w)), std::string::npos);
  EXPECT_THROW(ReadExactly(client, 1), platform::ConnectionClosed);

  TcpConnection c2 = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection s2 = std::move(*listener.Accept(kWaitMs));
  c2.Write("Send_file\r\n");
  Session answered(s2);
  EXPECT_TRUE(WaitForRequestAnswer(CurrentWireContext(), answered, nullptr));
  EXPECT_EQ(answered.ReadLine(), "Send_file");
}

TEST_F(BodyTest, StopEndsTheSenderWithTheNoticeAndTheReceiverWithAMismatch) {
  std::vector<std::string> boxes;
  ui::Operator::instance().SetObserver(
      [&](const std::string& caption, const std::string& text, ui::Answer) { boxes.push_back(caption + "|" + text); });
  test::WriteFile(root / "out.dat", Pattern(1000));
  auto peer = std::async(std::launch::async, [&] {
    ReadExactly(client, 128);
    client.Write(Int4(1));
    return client.WaitReadable(kWaitMs) ? (client.Connected() ? "open" : "closed") : "silent";
  });
  Session session(server);
  EXPECT_FALSE(SendBody(session, root / "out.dat", 1000, Site(), Progress(progress, /*stop_after=*/1)));
  EXPECT_EQ(std::string(peer.get()), "closed");
  EXPECT_EQ(boxes, (std::vector<std::string>{std::string("Связь с офисом|Обмен данными прерван пользователем"_w)}));
  EXPECT_EQ(Log().find(" - stored"), std::string::npos);

  // A receiver without the cancel notice: a cut reception is a mismatch.
  TcpConnection c2 = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection s2 = std::move(*listener.Accept(kWaitMs));
  c2.Write(Pattern(128));
  Session receiving(s2);
  EXPECT_EQ(ReceiveBody(receiving, 1000, root / "cut.dat", Site(), Progress(progress, 1)), Received::Mismatch);
  EXPECT_NE(Log().find(" - mismatch 128\r\n"), std::string::npos);
  EXPECT_FALSE(platform::FileExists(root / "cut.dat"));
  EXPECT_EQ(Log().find("SHA-256"), std::string::npos);  // neither the stopped sender nor the cut receiver
}

TEST_F(BodyTest, TwoRealSessionsMoveAMegabyteInBothModes) {
  // Packet sizes that do not divide the pieces the file is read and written
  // in, and one larger than a piece, so steps straddle them both ways.
  const std::string body = Pattern((1 << 20) + 77);
  const std::int32_t size = static_cast<std::int32_t>(body.size());
  test::WriteFile(root / "big.dat", body);
  for (const auto& [fast, packet] : std::vector<std::pair<bool, std::int32_t>>{
           {false, 2048}, {false, 96}, {false, 300000}, {true, 256000}, {true, 96}, {true, 300000}}) {
    SCOPED_TRACE(std::to_string(fast) + " " + std::to_string(packet));
    TheSettings().useFastDatTravel = fast;
    TheSettings().InetBuffSize = packet;
    TcpConnection c = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
    TcpConnection s = std::move(*listener.Accept(kWaitMs));
    ProgressRecord sending;
    std::string sent_digest, stored_digest;
    auto sender = std::async(std::launch::async, [&] {
      Session out(c);
      TransferSite site = Site();
      site.digest = &sent_digest;
      return SendBody(out, root / "big.dat", size, site, Progress(sending));
    });
    Session in(s);
    TransferSite site = Site();
    site.digest = &stored_digest;
    EXPECT_EQ(ReceiveBody(in, size, root / "copy.dat", site, Progress(progress)), Received::Stored);
    EXPECT_TRUE(sender.get());
    EXPECT_EQ(test::ReadFile(root / "copy.dat") == body, true);
    EXPECT_EQ(sending.steps.size(), static_cast<std::size_t>(size / packet + 1));
    // Hashed as the steps went, whatever their shape: the whole body's digest at both ends.
    EXPECT_EQ(sent_digest, test::Sha256Hex(body));
    EXPECT_EQ(stored_digest, sent_digest);
  }
  // Each end's line comes after its success line and names its own file.
  const std::string log = Log();
  for (const std::string& path : {root / "big.dat", root / "copy.dat"}) {
    const std::size_t at = log.find(" - " + test::DigestLine(body, path) + "\r\n");
    ASSERT_NE(at, std::string::npos) << path;
    EXPECT_NE(log.rfind(" - stored\r\n", at), std::string::npos) << path;
  }
}

// A fast body of several MiB goes out straight from the file, is read with
// large reads at the other end and is hashed beside the transfer at each:
// the same bytes, steps and digests as any other body, also when the steps
// straddle the pieces, as a single block, and only S bytes of a longer file.
TEST_F(BodyTest, ALargeFastBodyArrivesWholeWithTheSameDigestAtBothEnds) {
  const std::string body = Pattern((5 << 20) + 77);
  const std::int32_t size = static_cast<std::int32_t>(body.size());
  test::WriteFile(root / "large.dat", body + "more than was announced");
  TheSettings().useFastDatTravel = true;
  for (const auto& [packet, block] : std::vector<std::pair<std::int32_t, bool>>{
           {256000, false}, {1000, false}, {300000, true}}) {
    const bool single_block = block;  // (clang before 16 cannot capture a structured binding)
    SCOPED_TRACE(std::to_string(packet) + (single_block ? " single block" : ""));
    TheSettings().InetBuffSize = packet;
    TcpConnection c = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
    TcpConnection s = std::move(*listener.Accept(kWaitMs));
    ProgressRecord sending;
    std::string sent_digest, stored_digest;
    auto sender = std::async(std::launch::async, [&] {
      Session out(c);
      TransferSite site = Site();
      site.digest = &sent_digest;
      const bool sent = SendBody(out, root / "large.dat", size, site, Progress(sending));
      if (single_block) out.WriteLine("111");
      return sent;
    });
    Session in(s);
    TransferSite site = Site();
    site.digest = &stored_digest;
    const Received got = single_block
                             ? ReceiveSingleBlock(in, size, root / "copy.dat", site, Progress(progress))
                             : ReceiveBody(in, size, root / "copy.dat", site, Progress(progress));
    EXPECT_EQ(got, Received::Stored);
    EXPECT_TRUE(sender.get());
    EXPECT_EQ(test::ReadFile(root / "copy.dat") == body, true);
    EXPECT_EQ(sending.steps.size(), static_cast<std::size_t>(size / packet + 1));
    EXPECT_EQ(progress.steps.size(), static_cast<std::size_t>(size / packet + 1));
    EXPECT_EQ(sent_digest, test::Sha256Hex(body));
    EXPECT_EQ(stored_digest, sent_digest);
  }
}

// A file cut short while its large body is on its way: the sender ends with
// the short-file error and no digest, and the wire carries less than S.
TEST_F(BodyTest, AFileCutShortWhileItsLargeBodyGoesEndsWithoutADigest) {
  const std::int32_t size = 64 << 20;  // more than loopback holds in flight
  const std::string path = root / "shrinks.dat";
  test::WriteFile(path, Pattern(size));
  TheSettings().useFastDatTravel = true;
  TheSettings().InetBuffSize = 256000;
  client.SetReadTimeout(kWaitMs);
  auto peer = std::async(std::launch::async, [&] {
    std::int64_t got = static_cast<std::int64_t>(ReadExactly(client, 1 << 20).size());
    std::filesystem::resize_file(path, 2 << 20);
    std::vector<char> buf(1 << 16);
    try {
      for (;;) got += static_cast<std::int64_t>(client.ReadSome(buf.data(), buf.size()));
    } catch (const platform::ConnectionClosed&) {
    }
    return got;
  });
  std::string digest = "untouched";
  TransferSite site = Site();
  site.digest = &digest;
  Session out(server);
  EXPECT_FALSE(SendBody(out, path, size, site, Progress(progress)));
  out.Disconnect();
  EXPECT_LT(peer.get(), size);
  EXPECT_NE(Log().find(" - error: " + std::string("Файл стал короче, чем был объявлен"_w)),
            std::string::npos);
  EXPECT_EQ(digest, "untouched");
  EXPECT_EQ(Log().find("SHA-256"), std::string::npos);
}

// A large fast reception that the peer cuts, or that the operator stops,
// leaves no file, no temporary and no digest.
TEST_F(BodyTest, ALargeFastReceptionCutOrStoppedLeavesNothing) {
  const std::int32_t size = 8 << 20;
  TheSettings().useFastDatTravel = true;
  TheSettings().InetBuffSize = 256000;
  std::string digest = "untouched";
  auto cut = std::async(std::launch::async, [&] {
    client.Write(Pattern(1 << 20));
    client.Disconnect();
  });
  {
    Session in(server);
    TransferSite site = Site();
    site.digest = &digest;
    EXPECT_EQ(ReceiveBody(in, size, root / "cut.dat", site, Progress(progress)), Received::Failed);
  }
  cut.get();

  TcpConnection c = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection s = std::move(*listener.Accept(kWaitMs));
  auto whole = std::async(std::launch::async, [&] {
    try {
      c.Write(Pattern(size));
    } catch (const Error&) {  // the stopped receiver closes
    }
  });
  {
    Session in(s);
    TransferSite site = Site();
    site.digest = &digest;
    EXPECT_EQ(ReceiveBody(in, size, root / "stopped.dat", site, Progress(progress, /*stop_after=*/3)),
              Received::Mismatch);
    in.Disconnect();
  }
  whole.get();
  EXPECT_NE(Log().find(" - mismatch 768000\r\n"), std::string::npos);
  EXPECT_EQ(progress.steps.size(), 3u);
  EXPECT_EQ(FilesIn(root.path()).size(), 1u);  // the log folder alone
  EXPECT_EQ(digest, "untouched");
  EXPECT_EQ(Log().find("SHA-256"), std::string::npos);
}

// A body that was not whole at either end leaves no digest line and no
// digest: the operator must not find a line to match where nothing matches.
TEST_F(BodyTest, ACutOrShortBodyHasNoDigest) {
  std::string digest = "untouched";
  test::WriteFile(root / "short.dat", Pattern(300));
  {
    TransferSite site = Site();
    site.digest = &digest;
    auto peer = std::async(std::launch::async, [&] {
      for (int i = 1; i <= 2; ++i) {
        ReadExactly(client, 128);
        client.Write(Int4(i));
      }
    });
    Session out(server);
    EXPECT_FALSE(SendBody(out, root / "short.dat", 1000, site, Progress(progress)));
    peer.get();
  }
  TcpConnection c = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection s = std::move(*listener.Accept(kWaitMs));
  auto peer = std::async(std::launch::async, [&] {
    c.Write(Pattern(128));
    ReadExactly(c, 4);
    c.Disconnect();
  });
  {
    TransferSite site = Site();
    site.digest = &digest;
    Session in(s);
    EXPECT_EQ(ReceiveBody(in, 300, root / "cut.dat", site, Progress(progress)), Received::Failed);
  }
  peer.get();
  EXPECT_EQ(digest, "untouched");
  EXPECT_EQ(Log().find("SHA-256"), std::string::npos);
}

// What a sender may announce: a file it can read, below 2 GiB. A missing
// file is no empty body; one of 2 GiB or more is not cut to its low bits.
TEST(SendableFileSize, AReadableFileBelowTwoGiBAndNothingElse) {
  test::TempFolder folder;
  EXPECT_THROW(SendableFileSize(folder / "missing"), Error);
  test::WriteFile(folder / "empty", "");
  EXPECT_EQ(SendableFileSize(folder / "empty"), 0);
  test::WriteFile(folder / "big", "");
  std::filesystem::resize_file(folder / "big", (std::uint64_t{1} << 31) - 1);  // sparse
  EXPECT_EQ(SendableFileSize(folder / "big"), 2147483647);
  std::filesystem::resize_file(folder / "big", std::uint64_t{1} << 32);
  EXPECT_THROW(SendableFileSize(folder / "big"), Error);
}

// The file is read ahead and a fast body's steps go out together, yet the
// wire carries what one step at a time would: the steps the file still had,
// never a part of the step it ran short in, and never more than S bytes.
TEST_F(BodyTest, AFileShorterOrLongerThanAnnouncedSendsWholeStepsOfTheAnnouncedBodyOnly) {
  test::WriteFile(root / "short.dat", Pattern(1000));
  for (const bool fast : {false, true}) {
    SCOPED_TRACE(fast);
    TheSettings().useFastDatTravel = fast;
    TheSettings().InetBuffSize = 128;
    TcpConnection c = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
    TcpConnection s = std::move(*listener.Accept(kWaitMs));
    c.SetReadTimeout(kWaitMs);
    auto peer = std::async(std::launch::async, [&] {
      std::string got;
      char buf[4096];
      try {
        for (;;) {
          const std::size_t n = c.ReadSome(buf, fast ? sizeof buf : 128);
          got.append(buf, n);
          if (!fast && got.size() % 128 == 0) c.Write(Int4(static_cast<std::int32_t>(got.size() / 128)));
        }
      } catch (const platform::ConnectionClosed&) {
      }
      return got;
    });
    Session out(s);
    EXPECT_FALSE(SendBody(out, root / "short.dat", 2000, Site(), Progress(progress)));
    out.Disconnect();
    EXPECT_EQ(peer.get(), Pattern(7 * 128));  // step 8 would need bytes 896..1023
    EXPECT_EQ(progress.steps.size(), 7u);
  }
  EXPECT_NE(Log().find(" - error: " + std::string("Файл стал короче, чем был объявлен"_w)),
            std::string::npos);

  TheSettings().useFastDatTravel = true;
  TcpConnection c = TcpConnection::Connect(kHost, listener.Port(), kWaitMs);
  TcpConnection s = std::move(*listener.Accept(kWaitMs));
  Session out(s);
  std::string digest;
  TransferSite site = Site();
  site.digest = &digest;
  EXPECT_TRUE(SendBody(out, root / "short.dat", 600, site, Progress(progress)));
  out.Disconnect();
  EXPECT_EQ(digest, test::Sha256Hex(Pattern(600)));  // of what was sent, not of the file
  c.SetReadTimeout(kWaitMs);
  EXPECT_EQ(ReadExactly(c, 600), Pattern(600));
  EXPECT_THROW(c.ReadByte(), platform::ConnectionClosed);
}

}  // namespace
}  // namespace pw::protocol
