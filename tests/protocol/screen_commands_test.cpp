// The station listener's picture commands over real sockets on loopback: a
// scripted office asks for the screenshot and for TV frames from a station
// whose screen is synthetic. Each reply is checked byte for byte against the
// picture made apart from the same screen; failures leave their line in the
// log file and nothing on the wire, and the connection goes on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "decoded_picture.h"
#include "host/folder_host.h"
#include "interactive/screen_pictures.h"
#include "main_thread_pump.h"
#include "platform/files.h"
#include "platform/tcp.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "window_log.h"

namespace pw {
namespace {

using platform::TcpConnection;
using test::kWaitMs;
using test::RawLine;
using test::RawWrite;
using test::Answered;
using test::ReadPicture;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr auto kPumpLimit = 20s;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

platform::PixelImage Screen() { return test::Quarters(96, 64); }

class ScreenCommandsTest : public test::ProcessStateTest {
 protected:
  void SetUp() override {
    TheSettings().InPort = 0;
    platform::CreateDirectories(CurrentFolders().log_files);
    State().mode = kStationMode;
    State().host.emplace(&host);
    form = std::make_unique<station::TInetForm>(State());
    form->local_addresses = [] { return std::vector<std::string>{test::kLoopback}; };
    form->InstallPictureCommands(station::ScreenPictures{Screen});
    form->RunServer();
  }
  void TearDown() override { form.reset(); }

  // An office past the station's greeting, name and password answer.
  TcpConnection Office() const {
    TcpConnection c = TcpConnection::Connect(test::kLoopback, form->IdTCPServer1.Port(), kWaitMs);
    c.SetReadTimeout(kWaitMs);
    EXPECT_EQ(RawLine(c), TheSettings().useFastDatTravel ? "OKF" : "OK");
    EXPECT_EQ(RawLine(c), W("АЗС 3"_w));
    RawWrite(c, "NOPASS");
    EXPECT_EQ(RawLine(c), "OK");
    return c;
  }
  template <class Fn>
  auto OnWorker(Fn fn) {
    return test::OnWorker(std::move(fn), kPumpLimit);
  }
  bool WaitForEnds(int times) {
    return test::WaitForLine(form->log, W("Входящее подключение разорванно, IP: 127.0.0.1"_w),
                             times, kPumpLimit);
  }
  std::string Log() const { return test::ReadFile(CurrentFolders().log_file); }
  // Lines of the log file that hold text, and whether the window saw any.
  int FileLines(const std::string& text) const {
    const std::string log = Log();
    int n = 0;
    for (std::size_t at = 0; (at = log.find(" - " + text + "\r\n", at)) != std::string::npos; ++at) ++n;
    return n;
  }
  bool InWindow(const std::string& text) const {
    for (const std::string& line : test::LogLines(form->log))
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  test::TempFolder root;
  host::FolderHost host{root.path() + "host/", W("АЗС 3"_w), 4, [](const std::string&) {}};
  std::unique_ptr<station::TInetForm> form;
};

TEST_F(ScreenCommandsTest, TheScreenshotIsTheGifOfTheWholeScreenAndTheConnectionGoesOn) {
  const Bytes expected = *interactive::CaptureScreenGif(0, 0, 8, Screen);
  const Bytes frame = interactive::CaptureScreenJpeg(40, 30, 75, 24, Screen);
  OnWorker([&] {
    TcpConnection c = Office();
    RawWrite(c, "GET_SCREENSHOT");
    RawWrite(c, "8");
    EXPECT_EQ(ReadPicture(c), expected);
    RawWrite(c, "GET_TVSHOT\r\n40\r\n30\r\n24\r\n75");
    EXPECT_EQ(ReadPicture(c), frame);
    EXPECT_EQ(Answered(c), "");  // nothing more
  });
  ASSERT_TRUE(WaitForEnds(1));
  const platform::PixelImage image = test::DecodeGif(expected);
  EXPECT_EQ(image.width, 96);
  EXPECT_EQ(image.height, 64);
}

// An office asking for pictures as fast as it can holds the station's
// picture making two thirds of the time at most: after a picture that took
// t to make, the next on that connection waits until t / 2 has passed. The
// screen here takes 40 ms a copy.
TEST_F(ScreenCommandsTest, PicturesOnOneConnectionRestHalfTheirMakingTime) {
  constexpr auto kCopy = 40ms;
  form->InstallPictureCommands(station::ScreenPictures{[kCopy] {
    std::this_thread::sleep_for(kCopy);  // the cost of a copy, not a wait for an event
    return Screen();
  }});
  OnWorker([&] {
    TcpConnection c = Office();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 6; ++i) {
      RawWrite(c, i % 2 == 0 ? "GET_TVSHOT\r\n40\r\n30\r\n24\r\n75" : "GET_SCREENSHOT\r\n8");
      EXPECT_FALSE(ReadPicture(c).empty());
    }
    // Six copies and the five rests between them.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 6 * kCopy + 5 * kCopy / 2);
  });
  ASSERT_TRUE(WaitForEnds(1));
}

TEST_F(ScreenCommandsTest, NoScreenshotClosesTheConnectionWithoutAReply) {
  OnWorker([&] {
    TcpConnection c = Office();
    RawWrite(c, "GET_SCREENSHOT");
    RawWrite(c, "0");  // no pixel format
    EXPECT_EQ(Answered(c), "<closed>");
  });
  ASSERT_TRUE(WaitForEnds(1));
  const std::string line = W("Ошибка получения скина Invalid pixel format"_w);
  EXPECT_EQ(FileLines(line), 1);
  EXPECT_FALSE(InWindow(line));  // the log file only
}

TEST_F(ScreenCommandsTest, TvFramesRepeatOnOneConnectionJpegUnlessTheFourthValueIsZero) {
  const Bytes jpeg = interactive::CaptureScreenJpeg(200, 100, 60, 16, Screen);
  const Bytes gif = interactive::CaptureScreenGif(33, 250, 4, Screen).value();
  const Bytes own = interactive::CaptureScreenJpeg(0, 0, 1, 24, Screen);
  OnWorker([&] {
    TcpConnection c = Office();
    RawWrite(c, "GET_TVSHOT\r\n200\r\n100\r\n16\r\n60");
    EXPECT_EQ(ReadPicture(c), jpeg);
    RawWrite(c, "GET_TVSHOT\r\n33\r\n250\r\n4\r\n0");
    EXPECT_EQ(ReadPicture(c), gif);
    // 256 is 0 in its low 8 bits, yet not 0: a JPEG, at libjpeg's lowest.
    RawWrite(c, "GET_TVSHOT\r\n0\r\n0\r\n24\r\n256");
    EXPECT_EQ(ReadPicture(c), own);
    EXPECT_EQ(Answered(c), "");
  });
  ASSERT_TRUE(WaitForEnds(1));
  const test::DecodedJpeg decoded = test::DecodeJpeg(own);
  EXPECT_EQ(decoded.image.width, 96);
  EXPECT_EQ(decoded.image.height, 64);
  EXPECT_EQ(test::DecodeGif(gif).width, 33);
  EXPECT_EQ(Log().find("tvtvtv"), std::string::npos);
}

TEST_F(ScreenCommandsTest, AFailedTvFrameIsLoggedToTheFileOnlyNothingIsSentAndTheNextOneComes) {
  const Bytes frame = interactive::CaptureScreenJpeg(20, 20, 75, 24, Screen);
  OnWorker([&] {
    TcpConnection c = Office();
    for (const char* bad : {"GET_TVSHOT\r\n20\r\n20\r\n0\r\n75",              // no pixel format (JPEG)
                            "GET_TVSHOT\r\n20\r\n20\r\n0\r\n0",               // no pixel format (GIF)
                            "GET_TVSHOT\r\n-20\r\n20\r\n24\r\n75",            // negative
                            "GET_TVSHOT\r\n16384\r\n16384\r\n24\r\n75",       // 256 Mpixel
                            "GET_TVSHOT\r\n99999\r\n10\r\n24\r\n0",           // a side too long
                            "GET_TVSHOT\r\nwide"}) {                          // not a number
      RawWrite(c, bad);
      RawWrite(c, "GET_TVSHOT\r\n20\r\n20\r\n24\r\n75");
      EXPECT_EQ(ReadPicture(c), frame) << bad;
    }
    EXPECT_EQ(Answered(c), "");
  });
  ASSERT_TRUE(WaitForEnds(1));
  const std::string prefix = "tvtvtv - ";
  EXPECT_EQ(FileLines(prefix + "Invalid pixel format"), 1);
  EXPECT_EQ(FileLines(prefix + W("Картинка не получена"_w)), 2);  // the GIF ones
  EXPECT_EQ(FileLines(prefix + W("Недопустимый размер картинки: -20x20"_w)), 1);
  EXPECT_EQ(FileLines(prefix + W("Недопустимый размер картинки: 16384x16384"_w)), 1);
  EXPECT_EQ(FileLines(W("Ошибка получения скина Недопустимый размер картинки: 99999x10"_w)), 1);
  EXPECT_EQ(FileLines(W("Ошибка получения скина Invalid pixel format"_w)), 1);
  EXPECT_NE(Log().find(prefix), std::string::npos);
  EXPECT_FALSE(InWindow("tvtvtv"));
}

}  // namespace
}  // namespace pw
