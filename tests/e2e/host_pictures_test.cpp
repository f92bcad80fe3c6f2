// pumpwire-host at the office keeps what its picture viewers show: the
// screenshot and the TV frames of a station played by hand on loopback are
// saved as BMP files under DIR/host/pictures/ and their paths printed; its
// tv commands resize and close a viewer as the operator would.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dialgate_file.h"
#include "host_process.h"
#include "picture_bytes.h"
#include "picture_station.h"
#include "platform/environment.h"
#include "raw_peer.h"
#include "temp_folder.h"

namespace pw::test {
namespace {

// A reply to each request: the asked size (or the screen, 64 x 48), GIF.
std::string Reply(const std::string& request) {
  int w = 64, h = 48;
  if (request.rfind("GET_TVSHOT", 0) == 0) {
    const std::size_t a = request.find('\n') + 1;
    const std::size_t b = request.find('\n', a) + 1;
    w = std::stoi(request.substr(a));
    h = std::stoi(request.substr(b));
  }
  const std::string gif = GifBytes(Quadrants(w, h));
  return std::to_string(gif.size()) + "\r\n" + gif;
}

// The path at the end of a printed line ("... -> PATH").
std::string PathIn(const std::string& line) {
  const std::size_t arrow = line.rfind(" -> ");
  return arrow == std::string::npos ? std::string() : line.substr(arrow + 4);
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return v;
}

class HostPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", "Connect=1");
    std::filesystem::copy_file(PUMPWIRE_FAKE_DIALGATE_PATH, Utf8Path(root / DialgateFile()));
  }
  void TearDown() override { platform::SetEnvironmentValue("FAKE_DIALGATE_ANSWERS", nullptr); }

  TempFolder root;
  platform::TcpListener listener{kLoopback, 0};
  const std::string menu = "click Связь>Интерактивный обмен>";
};

TEST_F(HostPictures, TheScreenshotAndTheTVFramesBecomeFilesAndTheViewerObeysTheTvCommands) {
  HostProcess office({"office", "--root", root.path(), "--set", "InPort=" + std::to_string(FreePort()),
                      "--set", "OutPort=" + std::to_string(listener.Port()), "--set", "e_TVrefresh=20"});
  ASSERT_EQ(office.WaitFor("Load:"), "Load: 0");
  office.Send("station #7 АЗС 7 127.0.0.1");
  {
    PictureStation station(listener, [](int index, const std::string& r) {
      return index == 0 ? Reply(r) : std::string();
    });
    office.Send(menu + "Показать скриншот с АЗС");
    const std::string shot = office.WaitFor("screenshot: ");
    ASSERT_NE(shot, "") << office.Transcript();
    EXPECT_EQ(shot.rfind("screenshot: \"Скриншот с АЗС 7\" 64x48 -> ", 0), 0u) << shot;
    const std::string bmp = ReadFile(PathIn(shot));
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bmp, 18), 64u);
    EXPECT_EQ(Le32(bmp, 22), 48u);
    EXPECT_EQ(bmp.size(), 54u + 64 * 3 * 48);
  }

  PictureStation station(listener, [](int, const std::string& r) { return Reply(r); });
  office.Send(menu + "Следить за АЗС (ТВ АЗС)");
  const std::string frame = office.WaitFor("tv: TVAZS7 \"АЗС 7 (ТВ АЗС)\" 104x78 | fps: ");
  ASSERT_NE(frame, "") << office.Transcript();
  EXPECT_NE(frame.find(" Траф: "), std::string::npos) << frame;
  const std::string path = PathIn(frame);
  EXPECT_EQ(path, root / "host/pictures/TVAZS7.bmp");
  EXPECT_EQ(Le32(ReadFile(path), 18), 104u);

  office.Send("tv size TVAZS7 200 115");
  ASSERT_NE(office.WaitFor("tv: TVAZS7 \"АЗС 7 (ТВ АЗС)\" 200x100 | "), "") << office.Transcript();
  office.Send("tv close TVAZS7");
  ASSERT_NE(office.WaitFor("tv: TVAZS7 gone"), "") << office.Transcript();
  station.Join();
  EXPECT_TRUE(station.closed_by_office());

  // A station number beyond the table is refused.
  office.Send("station #101 АЗС 101 127.0.0.1");
  office.Send(menu + "Следить за АЗС (ТВ АЗС)");
  EXPECT_NE(office.WaitFor("box:  | ТВ АЗС: номер АЗС 101 вне пределов 0..100, наблюдение не начато"), "")
      << office.Transcript();

  // UnLoad while a stream runs: its connection is closed and its thread
  // joined before UnLoad returns.
  PictureStation streaming(listener, [](int, const std::string& r) { return Reply(r); });
  office.Send("station #7 АЗС 7 127.0.0.1");
  office.Send(menu + "Следить за АЗС (ТВ АЗС)");
  // The new viewer stands where the last viewer of station 7 was left,
  // at its size.
  ASSERT_NE(office.WaitFor("tv: TVAZS7 \"АЗС 7 (ТВ АЗС)\" 200x100 | fps: "), "") << office.Transcript();
  EXPECT_EQ(office.Finish(), 0);
  streaming.Join();
  EXPECT_TRUE(streaming.closed_by_office());
  EXPECT_NE(office.lines().back().find("UnLoad: 0"), std::string::npos) << office.Transcript();
}

}  // namespace
}  // namespace pw::test
