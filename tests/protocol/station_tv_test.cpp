// The office's TV stream against a station played by hand on loopback: the
// requests byte for byte at the viewer's size, the decoder chosen per frame
// by e_TypeTV, the statistics line, the viewer's close ending the session
// at once, link errors, a refused password, a second start for a watched
// station, the station-number guard, and the plug-in's stop.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fake_dial_up.h"
#include "host/folder_host.h"
#include "interactive/tv_form.h"
#include "interactive/tv_session.h"
#include "office/inet_office_form.h"
#include "picture_bytes.h"
#include "picture_station.h"
#include "platform/files.h"
#include "process_state.h"
#include "raw_peer.h"
#include "services/event_log.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/menu_proc.h"
#include "shell/plugin_state.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::interactive {
namespace {

using namespace std::chrono_literals;
using test::kWaitMs;
using test::PictureStation;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

std::string Request(int w, int h, int depth, int q) {
  return "GET_TVSHOT\r\n" + std::to_string(w) + "\r\n" + std::to_string(h) + "\r\n" +
         std::to_string(depth) + "\r\n" + std::to_string(q) + "\r\n";
}

// The frame a station makes for a request: the asked size, as GIF or JPEG.
std::string FrameReply(const std::string& request, bool jpeg) {
  std::vector<int> n;
  for (std::size_t from = request.find('\n') + 1; from < request.size();) {
    const std::size_t end = request.find("\r\n", from);
    n.push_back(std::stoi(request.substr(from, end - from)));
    from = end + 2;
  }
  const platform::PixelImage picture = test::Quadrants(n.at(0), n.at(1));
  const std::string bytes = jpeg ? test::JpegBytes(picture) : test::GifBytes(picture);
  return std::to_string(bytes.size()) + "\r\n" + bytes;
}

class StationTVTest : public test::ProcessStateTest {
 protected:
  StationTVTest() {
    Settings& s = TheSettings();
    s.ReadTimeOut = kWaitMs;
    s.OutPort = listener.Port();
    s.e_TVrefresh = 1;
    s.e_ScrSHOTquality = 8;
    s.e_TypeTV = 1;
    s.e_JPGcompress = 60;
    platform::CreateDirectories(CurrentFolders().log_files);
    State().mode = kOfficeMode;
    State().host.emplace(&host);
    host.SetCurrentStation({7, W("АЗС 7"_w), test::kLoopback});
    services.log = [](std::string_view line) { AddToLog(line); };
    services.window_log = [](std::string_view line) { AddToLog(line); };
    services.link_error_pause = 50ms;
    ui::Operator::instance().SetObserver(
        [this](const std::string& caption, const std::string& text, ui::Answer) {
          boxes.push_back(caption + "|" + text);
        });
  }
  ~StationTVTest() override {
    // As UnLoad does: the threads first, then the sessions.
    EXPECT_TRUE(State().workers.StopAll(20s));
    for (auto& session : State().TVSessions) session.reset();
    State().office_window.reset();
  }

  void Start(std::int32_t number = 7) {
    StartStationTV(State().TVSessions, State().workers, services, test::kLoopback, listener.Port(),
                   W("АЗС 7"_w), number);
  }
  TThreadTVazs* Session(int number = 7) { return State().TVSessions[number].get(); }
  TTVForm& Viewer() { return *Session()->Form; }

  // Pumps the main thread until done() holds; false after kWaitMs.
  bool Until(const std::function<bool()>& done) {
    return ui::Dispatcher::instance().run_until(done, std::chrono::milliseconds(kWaitMs));
  }
  bool UntilFinished() {
    return Until([this] { return Session()->Finished(); });
  }

  std::string LogFile() const { return test::ReadFile(CurrentFolders().log_file); }

  test::TempFolder root;
  test::ScopedLanConnection lan;
  platform::TcpListener listener{test::kLoopback, 0};
  host::FolderHost host{root / "host/", W("Офис"_w), 4, [](const std::string&) {}};
  TVServices services;
  std::vector<std::string> boxes;
};

TEST_F(StationTVTest, FramesComeAtTheViewersSizeInTheFormatTheSettingsNameAtThatMoment) {
  PictureStation station(listener, [](int index, const std::string& request) {
    // The operator switches to JPEG while the first frame travels.
    if (index == 0) TheSettings().e_TypeTV = 0;
    return index < 3 ? FrameReply(request, index > 0) : std::string();
  });
  Start();
  TTVForm& viewer = Viewer();
  EXPECT_EQ(viewer.name, "TVAZS7");
  EXPECT_EQ(viewer.caption, W("АЗС 7 (ТВ АЗС)"_w));
  EXPECT_TRUE(viewer.visible && viewer.stays_on_top);
  EXPECT_EQ(viewer.lbInfo.caption, W("Подключение...."_w));

  ASSERT_TRUE(Until([&] { return viewer.FrameCount == 1; }));
  // The first frame, GIF, at the design size less the label's room.
  EXPECT_EQ(viewer.GifFrame.width, 104);
  EXPECT_EQ(viewer.GifFrame.height, 78);
  EXPECT_FALSE(viewer.JpegFrame.has_value());
  EXPECT_EQ(viewer.img.canvas().pixels.front(), 0xFF0000u);
  const std::string first = FrameReply(Request(104, 78, 8, 0), false);
  const double first_kb = std::stod(first.substr(0, first.find('\r'))) / 1000;
  EXPECT_EQ(viewer.TrafficTotal, first_kb);
  // Within the first second the rate is the frames so far.
  const std::string info = viewer.lbInfo.caption;
  const std::string rest = W(" Траф: "_w) + TwoDecimals(first_kb) + W(" Всего: "_w) + TwoDecimals(first_kb);
  ASSERT_GT(info.size(), rest.size());
  EXPECT_EQ(info.substr(info.size() - rest.size()), rest) << info;
  const std::string fps = info.substr(0, info.size() - rest.size());
  EXPECT_EQ(fps.rfind("fps: ", 0), 0u) << info;
  EXPECT_EQ(fps.find_first_not_of("0123456789", 5), fps.size() - 3) << info;
  EXPECT_EQ(fps.substr(fps.size() - 3, 1), ",") << info;
  EXPECT_EQ(fps.find_first_not_of("0123456789", fps.size() - 2), std::string::npos) << info;

  // The operator makes the viewer larger before the next request.
  viewer.SetClientSize(300, 215);
  ASSERT_TRUE(Until([&] { return viewer.FrameCount == 3; }));
  EXPECT_TRUE(viewer.GifFrame.pixels.empty());
  ASSERT_TRUE(viewer.JpegFrame.has_value());
  EXPECT_EQ(viewer.JpegFrame->width, 300);
  EXPECT_EQ(viewer.JpegFrame->height, 200);
  EXPECT_TRUE(test::CloseColour(viewer.img.canvas().pixels.back(), 0xFFFFFF, 8));
  EXPECT_EQ(viewer.img.width, 300);
  EXPECT_EQ(viewer.img.height, 200);
  EXPECT_EQ(viewer.lbInfo.top, 200);

  // The station closes instead of a fourth frame: a link error ends it.
  ASSERT_TRUE(UntilFinished());
  EXPECT_EQ(Session()->Form, nullptr);
  EXPECT_EQ(station.password_line(), "NOPASS\r\n");
  EXPECT_EQ(station.requests(), (std::vector<std::string>{Request(104, 78, 8, 0), Request(300, 200, 8, 60),
                                                          Request(300, 200, 8, 60), Request(300, 200, 8, 60)}));
}

TEST_F(StationTVTest, ClosingTheViewerEndsTheSessionAtOnceAndClosesTheConnection) {
  TheSettings().e_TVrefresh = 60000;  // a pause the close must cut short
  PictureStation station(listener, [](int, const std::string& request) { return FrameReply(request, false); });
  Start();
  ASSERT_TRUE(Until([&] { return Viewer().FrameCount == 1; }));
  const auto closed_at = std::chrono::steady_clock::now();
  Viewer().OperatorClose();
  EXPECT_TRUE(Viewer().Stopped);
  EXPECT_FALSE(Viewer().visible);
  ASSERT_TRUE(UntilFinished());
  EXPECT_LT(std::chrono::steady_clock::now() - closed_at, 5s);
  station.Join();
  EXPECT_TRUE(station.closed_by_office());
  EXPECT_EQ(station.requests().size(), 1u);
  // A closed viewer is no error: nothing is logged.
  EXPECT_EQ(LogFile().find(W("Ошибка"_w)), std::string::npos) << LogFile();

  // Chosen again, the same slot gets a new session.
  PictureStation again(listener, [](int, const std::string& request) { return FrameReply(request, false); });
  Start();
  ASSERT_TRUE(Until([&] { return Viewer().FrameCount == 1; }));
  Viewer().OperatorClose();
  ASSERT_TRUE(UntilFinished());
}

TEST_F(StationTVTest, AStationAlreadyWatchedGetsTheBoxAndNoSecondSession) {
  PictureStation station(listener, [](int, const std::string& request) { return FrameReply(request, false); });
  Start();
  ASSERT_TRUE(Until([&] { return Viewer().FrameCount == 1; }));
  TThreadTVazs* first = Session();
  Start();
  EXPECT_EQ(boxes, std::vector<std::string>{W("|За данной АЗС уже ведется видеонаблюдение"_w)});
  EXPECT_EQ(Session(), first);
  EXPECT_TRUE(Viewer().visible);
  EXPECT_FALSE(listener.Accept(0).has_value());
  Viewer().OperatorClose();
  ASSERT_TRUE(UntilFinished());
}

TEST_F(StationTVTest, ARefusedPasswordMakesTheViewerVanishAndIsLogged) {
  TheSettings().PasswordEnable = true;
  TheSettings().Password.set("secret");
  PictureStation station(listener, nullptr, "PASS");
  Start();
  ASSERT_TRUE(UntilFinished());
  EXPECT_EQ(Session()->Form, nullptr);
  for (const ui::Window* w : ui::AllWindows()) EXPECT_NE(w->class_name(), "TTVForm");
  EXPECT_EQ(station.password_line(), "secret\r\n");
  EXPECT_NE(LogFile().find(W("Ошибка обмена информацией : Не удалось подключиться к серверу: "
                             "Неправильный пароль или не настроена безопасность соединения"_w)),
            std::string::npos)
      << LogFile();
  EXPECT_TRUE(boxes.empty());
}

TEST_F(StationTVTest, ABadReplyShowsTheLinkErrorThenTheSessionEnds) {
  const std::string gif = test::GifBytes(test::Quadrants(8, 8));
  // The texts apart from the list: clang 14 crashes on a _w literal inside it.
  const std::string bad_size = W("Недопустимый размер изображения: "_w);
  const std::string bad_gif = W("Ошибка чтения GIF: "_w);
  const std::vector<std::pair<std::string, std::string>> replies = {
      {"abc\r\n", ""},
      {"-5\r\n", bad_size + "-5"},
      {"67108865\r\n", bad_size + "67108865"},
      {"10\r\n0123456789", bad_gif},
      {std::to_string(gif.size() / 2) + "\r\n" + gif.substr(0, gif.size() / 2), bad_gif},
  };
  for (const auto& item : replies) {
    const std::string reply = item.first;
    const std::string& caption = item.second;
    SCOPED_TRACE(reply.substr(0, reply.find('\r')));
    PictureStation station(listener, [reply](int index, const std::string&) {
      return index == 0 ? reply : std::string();
    });
    Start();
    TTVForm* viewer = &Viewer();
    ASSERT_TRUE(Until([&] { return viewer->Stopped; }));
    EXPECT_EQ(viewer->lbInfo.caption, W("Ошибка связи!"_w));
    EXPECT_EQ(viewer->caption->rfind(caption, 0), 0u) << viewer->caption;
    EXPECT_EQ(viewer->FrameCount, 0);
    ASSERT_TRUE(UntilFinished());
    EXPECT_EQ(Session()->Form, nullptr);
    station.Join();
    EXPECT_TRUE(station.closed_by_office());
  }
}

TEST_F(StationTVTest, StationNumbersOutsideTheTableAreRefusedAndTouchNoSlot) {
  for (const int number : {-1, 101}) {
    Start(number);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], W("|ТВ АЗС: номер АЗС "_w) + std::to_string(number) +
                            W(" вне пределов 0..100, наблюдение не начато"_w));
    boxes.clear();
  }
  for (const auto& session : State().TVSessions) EXPECT_EQ(session, nullptr);
  EXPECT_FALSE(listener.Accept(0).has_value());
}

TEST_F(StationTVTest, TheMenuWatchesTheHostsStationAndTheStopEndsIt) {
  State().office_window = std::make_unique<office::TInetOfficeForm>(State());
  PictureStation station(listener, [](int, const std::string& request) { return FrameReply(request, false); });
  CMenuProc().WatchStationTVClick();
  ASSERT_NE(Session(), nullptr);
  ASSERT_TRUE(Until([&] { return Viewer().FrameCount == 2; }));
  // UnLoad's stop: the connection is closed, the thread joined, the viewer
  // released.
  EXPECT_TRUE(State().workers.StopAll(20s));
  EXPECT_TRUE(Session()->Finished());
  EXPECT_EQ(Session()->Form, nullptr);
  station.Join();
  EXPECT_TRUE(station.closed_by_office());
}

TEST_F(StationTVTest, DestroyingAStreamingSessionServesItsLastCallsInsteadOfDeadlocking) {
  services.close_pause = 60s;  // the thread's end cuts the pause short
  PictureStation station(listener, [](int, const std::string& request) { return FrameReply(request, true); });
  TheSettings().e_TypeTV = 0;
  Start();
  ASSERT_TRUE(Until([&] { return Viewer().FrameCount == 1; }));
  const auto from = std::chrono::steady_clock::now();
  State().TVSessions[7].reset();  // on the main thread, as a new start or UnLoad does
  EXPECT_LT(std::chrono::steady_clock::now() - from, 5s);
  for (const ui::Window* w : ui::AllWindows()) EXPECT_NE(w->class_name(), "TTVForm");
  station.Join();
  EXPECT_TRUE(station.closed_by_office());
}

TEST(TVStatisticsTest, TwoDecimalsWithTheDecimalComma) {
  EXPECT_EQ(TwoDecimals(0), "0,00");
  EXPECT_EQ(TwoDecimals(12.345), "12,35");
  EXPECT_EQ(TwoDecimals(1.0 / 3), "0,33");
}

}  // namespace
}  // namespace pw::interactive
