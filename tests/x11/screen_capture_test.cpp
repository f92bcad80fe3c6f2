// The station's screen under a real X server: Xvfb started and stopped by
// the test on a free display, with four coloured quarters on its root
// window. The copy itself (24 and 16 bits a pixel), the screen size the
// windows see, a missing display, and the pictures the office gets from the
// listener. Skipped where Xvfb is not installed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decoded_picture.h"
#include "host/folder_host.h"
#include "main_thread_pump.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/picture_stretch.h"
#include "platform/screen.h"
#include "platform/screen_capture.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "thread_signals.h"
#include "text/cp1251.h"
#include "xvfb_screen.h"

namespace pw {
namespace {

using platform::PixelImage;
using platform::TcpConnection;
using test::ReadPicture;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::kWhite;
using test::QuarterCentres;
using namespace std::chrono_literals;

bool NearQuarters(const PixelImage& image, int tolerance) {
  const std::vector<std::uint32_t> got = QuarterCentres(image);
  const std::vector<std::uint32_t> want{kRed, kGreen, kBlue, kWhite};
  for (std::size_t i = 0; i < 4; ++i)
    if (!test::Near(got[i], want[i], tolerance)) return false;
  return true;
}

#define SKIP_WITHOUT_XVFB() \
  if (!test::XvfbScreen::Installed()) GTEST_SKIP() << "Xvfb is not installed"

TEST(XvfbScreen, TheRootWindowComesBackPixelForPixelAt24And16BitsAndSetsTheScreenSize) {
  SKIP_WITHOUT_XVFB();
  struct Case {
    int w, h, depth;
    bool shared_memory;
  };
  for (const Case& k : {Case{640, 480, 24, true}, Case{320, 200, 16, true}, Case{300, 100, 24, false},
                        Case{120, 90, 16, false}}) {
    SCOPED_TRACE(std::to_string(k.depth) + (k.shared_memory ? " shared memory" : " XGetImage"));
    test::XvfbScreen xvfb(k.w, k.h, k.depth, k.shared_memory);
    xvfb.DrawQuarters();
    const test::ScopedDisplay display(xvfb.display().c_str());
    const PixelImage copy = platform::CapturePrimaryScreen().Whole();
    EXPECT_EQ(copy.width, k.w);
    EXPECT_EQ(copy.height, k.h);
    // Pure colours survive 5-6-5 exactly, widened back to 8 bits.
    EXPECT_EQ(copy.pixels, test::Quarters(k.w, k.h).pixels);
    EXPECT_EQ(platform::PrimaryScreenSize().width, k.w);
    EXPECT_EQ(platform::PrimaryScreenSize().height, k.h);
  }
}

// Several offices watching one station copy its screen from several
// threads at once: the X extension library's lists must not be changed
// under one copy by another's open and close (it crashed the station).
TEST(XvfbScreen, CopiesFromManyThreadsAtOnceEachGetTheWholeScreen) {
  SKIP_WITHOUT_XVFB();
  test::XvfbScreen xvfb(160, 120, 24, true);
  xvfb.DrawQuarters();
  const test::ScopedDisplay display(xvfb.display().c_str());
  const std::vector<std::uint32_t> expected = test::Quarters(160, 120).pixels;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i)
        if (platform::CapturePrimaryScreen().Whole().pixels != expected) ++wrong;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

// The station's X server dies while its screen is copied: the copy fails
// and the process goes on (Xlib's own reaction is to end the process).
TEST(XvfbScreen, AServerThatDiesDuringACopyFailsTheCopyNotTheProcess) {
  SKIP_WITHOUT_XVFB();
#if defined(__SANITIZE_THREAD__)
  // Xlib itself releases its display lock twice on the way out of a broken
  // connection, which the thread checker stops at; the other builds run it.
  GTEST_SKIP() << "Xlib unlocks its display lock twice after a broken connection";
#endif
  // Without shared memory the picture travels the socket, so the kill lands
  // inside a copy rather than between two. The copies keep their
  // connection, as a TV's do: a server that dies while a display is being
  // opened still ends the process (Xlib takes the display's exit handler
  // before it calls ours, and the display has none of ours yet), so the
  // kill must not meet an opening.
  test::XvfbScreen xvfb(2048, 2048, 24, false);
  const test::ScopedDisplay display(xvfb.display().c_str());
  test::Semaphore copying;
  std::string error;
  std::thread copier([&] {
    try {
      const platform::KeepScreenCopies keep;
      platform::CapturePrimaryScreen();
      copying.release();
      for (;;) platform::CapturePrimaryScreen();
    } catch (const Error& e) {
      error = e.what();
    }
  });
  copying.acquire();
  xvfb.Kill();
  copier.join();
  // The kept connection broke inside a copy or between two; the copy made
  // once more on a new connection then finds no server.
  EXPECT_EQ(error.rfind("no screen: cannot open display", 0), 0u) << error;
}

// A TV stream's copies keep their connection and shared memory: each copy
// still shows the screen as it is now, a copy's storage given back serves
// the next, a picture is made from the server's pixels where they lie,
// and a server that went away is replaced by the one DISPLAY
// names now (here one without shared memory, at another size and depth).
TEST(XvfbScreen, KeptCopiesFollowTheScreenAndMoveToANewServer) {
  SKIP_WITHOUT_XVFB();
#if defined(__SANITIZE_THREAD__)
  // The first server goes away under a kept connection: Xlib's double
  // release of its display lock then stops the thread checker (as above).
  GTEST_SKIP() << "Xlib unlocks its display lock twice after a broken connection";
#endif
  auto first = std::make_unique<test::XvfbScreen>(320, 200, 24, true);
  auto second = std::make_unique<test::XvfbScreen>(160, 120, 16, false);
  {
    const platform::KeepScreenCopies keep;
    auto display = std::make_unique<test::ScopedDisplay>(first->display().c_str());
    PixelImage copy = platform::CapturePrimaryScreen().Whole();
    EXPECT_NE(copy.pixels, test::Quarters(320, 200).pixels);
    first->DrawQuarters();
    platform::RecycleScreenCopy(std::move(copy));
    copy = platform::CapturePrimaryScreen().Whole();
    EXPECT_EQ(copy.pixels, test::Quarters(320, 200).pixels);
    // Stretched where the server left its pixels, as the TV's frames are;
    // such a copy is gone once the next is made.
    EXPECT_EQ(platform::CapturePrimaryScreen().Picture(100, 300).pixels,
              platform::StretchPicture(test::Quarters(320, 200), 100, 300).pixels);
    platform::ScreenCopy older = platform::CapturePrimaryScreen();
    platform::CapturePrimaryScreen();
    EXPECT_THROW(std::move(older).Whole(), Error);

    first->Kill();
    display.reset();
    second->DrawQuarters();
    display = std::make_unique<test::ScopedDisplay>(second->display().c_str());
    platform::RecycleScreenCopy(std::move(copy));
    copy = platform::CapturePrimaryScreen().Whole();
    EXPECT_EQ(copy.width, 160);
    EXPECT_EQ(copy.pixels, test::Quarters(160, 120).pixels);
  }
  // The kept connection is closed with its keeper, so the server (which
  // ends with its last client) goes at once: a connection left open would
  // hold it until it is killed, 10 s later.
  const auto start = std::chrono::steady_clock::now();
  second.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

// A view of a kept copy lives no longer than what keeps its segment: a
// nested keeper's end leaves it good, the outermost's makes it an error
// rather than a read of a detached segment.
TEST(XvfbScreen, AViewOfAKeptCopyIsGoneWithTheOutermostKeeper) {
  SKIP_WITHOUT_XVFB();
  test::XvfbScreen xvfb(64, 48, 24, true);
  xvfb.DrawQuarters();
  const test::ScopedDisplay display(xvfb.display().c_str());
  std::optional<platform::ScreenCopy> outlived;
  {
    const platform::KeepScreenCopies keep;
    {
      const platform::KeepScreenCopies nested;
      outlived = platform::CapturePrimaryScreen();
    }
    EXPECT_EQ(platform::ScreenCopy(std::move(*outlived)).Whole().pixels, test::Quarters(64, 48).pixels);
    outlived = platform::CapturePrimaryScreen();
  }
  EXPECT_THROW(std::move(*outlived).Whole(), Error);
}

TEST(XvfbScreen, WithoutADisplayThereIsNoScreenAndTheWindowsKeepTheirFixedSize) {
  {
    const test::ScopedDisplay none(nullptr);
    EXPECT_THROW(platform::CapturePrimaryScreen(), Error);
    EXPECT_EQ(platform::PrimaryScreenSize().width, 1280);
    EXPECT_EQ(platform::PrimaryScreenSize().height, 1024);
  }
  // A display nobody serves.
  const test::ScopedDisplay dead(":65000");
  try {
    platform::CapturePrimaryScreen();
    ADD_FAILURE() << "a copy without a server";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "no screen: cannot open display :65000");
  }
  EXPECT_EQ(platform::PrimaryScreenSize().width, 1280);
}

// The office's view: the real listener of a station whose screen is the Xvfb.
class XvfbStationTest : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    if (!test::XvfbScreen::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    xvfb = std::make_unique<test::XvfbScreen>(400, 300, 24);
    xvfb->DrawQuarters();
    display = std::make_unique<test::ScopedDisplay>(xvfb->display().c_str());
    TheSettings().InPort = 0;
    platform::CreateDirectories(CurrentFolders().log_files);
    State().mode = kStationMode;
    State().host.emplace(&host);
    form = std::make_unique<station::TInetForm>(State());  // with the machine's own screen
    form->local_addresses = [] { return std::vector<std::string>{test::kLoopback}; };
    form->RunServer();
  }
  void TearDown() override {
    form.reset();  // its threads first: they read DISPLAY
    display.reset();
    xvfb.reset();
  }

  TcpConnection Office() const {
    TcpConnection c = TcpConnection::Connect(test::kLoopback, form->IdTCPServer1.Port(), test::kWaitMs);
    c.SetReadTimeout(test::kWaitMs);
    test::RawLine(c);  // greeting
    test::RawLine(c);  // name
    test::RawWrite(c, "NOPASS");
    EXPECT_EQ(test::RawLine(c), "OK");
    return c;
  }

  test::TempFolder root;
  host::FolderHost host{root.path() + "host/", "AZS", 4, [](const std::string&) {}};
  std::unique_ptr<test::XvfbScreen> xvfb;
  std::unique_ptr<test::ScopedDisplay> display;
  std::unique_ptr<station::TInetForm> form;
};

TEST_F(XvfbStationTest, TheScreenshotAndTvFramesShowTheScreenAtTheSizeAsked) {
  std::vector<std::vector<std::uint8_t>> got;
  test::OnWorker(
      [&] {
        TcpConnection c = Office();
        test::RawWrite(c, "GET_SCREENSHOT\r\n24");
        got.push_back(ReadPicture(c));
        test::RawWrite(c, "GET_TVSHOT\r\n0\r\n0\r\n24\r\n75");      // JPEG, the screen's size
        got.push_back(ReadPicture(c));
        test::RawWrite(c, "GET_TVSHOT\r\n1000\r\n700\r\n32\r\n75");  // larger than the screen
        got.push_back(ReadPicture(c));
        test::RawWrite(c, "GET_TVSHOT\r\n200\r\n90\r\n8\r\n0");      // GIF
        got.push_back(ReadPicture(c));
      },
      20s);
  ASSERT_EQ(got.size(), 4u);
  const PixelImage shot = test::DecodeGif(got[0]);
  EXPECT_EQ(shot.pixels, test::Quarters(400, 300).pixels);
  const test::DecodedJpeg own = test::DecodeJpeg(got[1]);
  EXPECT_EQ(own.image.width, 400);
  EXPECT_EQ(own.image.height, 300);
  EXPECT_TRUE(NearQuarters(own.image, 16));
  const test::DecodedJpeg large = test::DecodeJpeg(got[2]);
  EXPECT_EQ(large.image.width, 1000);
  EXPECT_EQ(large.image.height, 700);
  EXPECT_TRUE(NearQuarters(large.image, 16));
  const PixelImage small = test::DecodeGif(got[3]);
  EXPECT_EQ(small.width, 200);
  EXPECT_EQ(small.height, 90);
  EXPECT_EQ(QuarterCentres(small), (std::vector<std::uint32_t>{kRed, kGreen, kBlue, kWhite}));
}

TEST_F(XvfbStationTest, EachDepthCodeGivesAPictureOfTheScreen) {
  struct Case {
    std::uint32_t depth;
    std::vector<std::uint32_t> quarters;  // as the GIF shows them
  };
  const std::vector<std::uint32_t> same{kRed, kGreen, kBlue, kWhite};
  const std::vector<Case> cases{{1, {0, 0, 0, kWhite}}, {4, same},  {8, same},  {15, same},
                                {16, same},             {24, same}, {32, same}, {12, same}};
  std::vector<std::vector<std::uint8_t>> gifs, jpegs;
  test::OnWorker(
      [&] {
        TcpConnection c = Office();
        for (const Case& k : cases) {
          test::RawWrite(c, "GET_TVSHOT\r\n160\r\n120\r\n" + std::to_string(k.depth) + "\r\n0");
          gifs.push_back(ReadPicture(c));
          test::RawWrite(c, "GET_TVSHOT\r\n160\r\n120\r\n" + std::to_string(k.depth) + "\r\n90");
          jpegs.push_back(ReadPicture(c));
        }
      },
      20s);
  ASSERT_EQ(gifs.size(), cases.size());
  ASSERT_EQ(jpegs.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].depth);
    EXPECT_EQ(QuarterCentres(test::DecodeGif(gifs[i])), cases[i].quarters);
    const PixelImage jpeg = test::DecodeJpeg(jpegs[i]).image;
    EXPECT_EQ(jpeg.width, 160);
    const std::vector<std::uint32_t> centres = QuarterCentres(jpeg);
    for (std::size_t q = 0; q < 4; ++q) EXPECT_TRUE(test::Near(centres[q], cases[i].quarters[q], 16)) << q;
  }
}

}  // namespace
}  // namespace pw
