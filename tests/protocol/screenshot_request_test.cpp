// The office's screenshot request from the menu against a station played by
// hand on loopback: the request byte for byte, the picture in the message
// window's viewer while the session is still open, and replies that end the
// command with its error line and no viewer.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fake_dial_up.h"
#include "host/folder_host.h"
#include "interactive/interactive_form.h"
#include "office/inet_office_form.h"
#include "picture_bytes.h"
#include "picture_station.h"
#include "platform/files.h"
#include "process_state.h"
#include "protocol/body_transfer.h"
#include "raw_peer.h"
#include "services/folders.h"
#include "services/settings.h"
#include "shell/menu_proc.h"
#include "shell/plugin_state.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw {
namespace {

using test::PictureStation;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

class ScreenshotRequestTest : public test::ProcessStateTest {
 protected:
  ScreenshotRequestTest() {
    TheSettings().ReadTimeOut = test::kWaitMs;
    TheSettings().OutPort = listener.Port();
    TheSettings().e_ScrSHOTquality = 24;
    platform::CreateDirectories(CurrentFolders().log_files);
    State().mode = kOfficeMode;
    State().host.emplace(&host);
    host.SetCurrentStation({7, W("АЗС 7"_w), test::kLoopback});
    State().office_window = std::make_unique<office::TInetOfficeForm>(State());
    State().message_window = std::make_unique<interactive::TInteractiveForm>(State());
    ui::Operator::instance().SetModalObserver([this](ui::Window& w) {
      const auto* image = static_cast<const ui::Image*>(w.FindControl("Image1"));
      viewers.push_back({w.caption, image->picture});
    });
  }
  ~ScreenshotRequestTest() override {
    State().message_window.reset();
    State().office_window.reset();
  }

  // The event log's lines without their time stamps.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string file = test::ReadFile(CurrentFolders().log_file);
    for (std::size_t from = 0; from < file.size();) {
      const std::size_t end = file.find("\r\n", from);
      lines.push_back(file.substr(from + 27, end - from - 27));
      from = end + 2;
    }
    return lines;
  }
  std::string Port() const { return std::to_string(listener.Port()); }

  struct Shown {
    std::string caption;
    ui::Bitmap picture;
  };

  test::TempFolder root;
  test::ScopedLanConnection lan;
  platform::TcpListener listener{test::kLoopback, 0};
  host::FolderHost host{root / "host/", W("Офис"_w), 4, [](const std::string&) {}};
  std::vector<Shown> viewers;
};

TEST_F(ScreenshotRequestTest, ThePictureIsShownWhileTheSessionIsOpenThenTheSessionCloses) {
  const platform::PixelImage screen = test::Quadrants(40, 30);
  const std::string gif = test::GifBytes(screen);
  bool open_while_shown = false;
  PictureStation station(listener, [&](int index, const std::string&) {
    // Another station's handshake while the picture is on its way: the
    // viewer still names the station the request went to.
    State().office_window->SetLastStationName(W("АЗС 9"_w));
    return index == 0 ? std::to_string(gif.size()) + "\r\n" + gif : std::string();
  });
  ui::Operator::instance().SetModalObserver([&](ui::Window& w) {
    open_while_shown = !station.closed_by_office();
    viewers.push_back({w.caption, static_cast<const ui::Image*>(w.FindControl("Image1"))->picture});
  });
  CMenuProc().ShowScreenshotClick();
  station.Join();
  EXPECT_EQ(station.password_line(), "NOPASS\r\n");
  EXPECT_EQ(station.requests(), std::vector<std::string>{"GET_SCREENSHOT\r\n24\r\n"});
  EXPECT_TRUE(station.closed_by_office());
  ASSERT_EQ(viewers.size(), 1u);
  EXPECT_TRUE(open_while_shown);
  EXPECT_EQ(viewers[0].caption, W("Скриншот с АЗС 7"_w));
  EXPECT_EQ(viewers[0].picture.width, 40);
  EXPECT_EQ(viewers[0].picture.pixels, screen.pixels);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            W("Запрос скриншота 127.0.0.1 "_w) + Port(), W("Соединение с интернет..."_w),
                            W("Идет подключение к АЗС..."_w),
                            W("Исходящее подключение установленно. АЗС: АЗС 7"_w),
                            W("Разорвано исходящее соединение с АЗС"_w)}));
}

TEST_F(ScreenshotRequestTest, ABadReplyEndsTheCommandWithItsErrorLineAndNoViewer) {
  const std::string gif = test::GifBytes(test::Quadrants(8, 8));
  const std::string over = std::to_string(protocol::kMaxPictureSize + 1);
  // The texts apart from the list: clang 14 crashes on a _w literal inside it.
  const std::string bad_size = W("Недопустимый размер изображения: "_w);
  const std::string bad_gif = W("Ошибка чтения GIF: "_w);
  // A station that writes its reason in place of the size is quoted.
  const std::string no_picture = W("АЗС не прислала картинку: "_w);
  const std::string reason = W("Ошибка получения скина no screen"_w);
  const std::vector<std::pair<std::string, std::string>> replies = {
      {"0\r\n", bad_gif},
      {"x1\r\n", no_picture + "x1"},
      {reason + "\r\n", no_picture + reason},
      {"\r\n", "'' is not a valid integer value"},
      {"-1\r\n", bad_size + "-1"},
      {over + "\r\n", bad_size + over},
      {"9\r\nnot a gif", bad_gif},
      {"20\r\n" + gif.substr(0, 20), bad_gif},
  };
  for (const auto& item : replies) {
    const std::string reply = item.first;
    const std::string& why = item.second;
    SCOPED_TRACE(reply.substr(0, reply.find('\r')));
    PictureStation station(listener, [reply](int index, const std::string&) {
      return index == 0 ? reply : std::string();
    });
    CMenuProc().ShowScreenshotClick();
    station.Join();
    EXPECT_TRUE(station.closed_by_office());
    const std::string error = W("Ошибка обмена информацией : "_w) + why;
    EXPECT_EQ(LogLines().back().rfind(error, 0), 0u) << LogLines().back();
  }
  EXPECT_TRUE(viewers.empty());
}

TEST_F(ScreenshotRequestTest, AnUnreachableStationStillClosesThroughTheWindow) {
  TheSettings().OutPort = test::FreePort();
  CMenuProc().ShowScreenshotClick();
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3].rfind(W("Ошибка при подключении к АЗС: "_w), 0), 0u) << lines[3];
  EXPECT_EQ(lines[4], W("Разорвано исходящее соединение с АЗС"_w));
  EXPECT_TRUE(viewers.empty());
}

}  // namespace
}  // namespace pw
