// The TV viewer as a window model: its design, what ShowFrame draws and
// counts, the least size the operator can drag it to, and its close.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "interactive/tv_form.h"
#include "process_state.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw::interactive {
namespace {

using namespace std::chrono_literals;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

platform::PixelImage Solid(int w, int h, std::uint32_t colour) {
  return platform::PixelImage{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, colour)};
}

class TVFormTest : public test::ProcessStateTest {
 protected:
  test::TempFolder root;
};

TEST_F(TVFormTest, ItStartsHiddenAtItsDesignSizeWaitingForTheConnection) {
  TTVForm form;
  EXPECT_FALSE(form.visible);
  EXPECT_TRUE(form.stays_on_top);
  EXPECT_EQ(form.client_width, 104);
  EXPECT_EQ(form.client_height, 93);
  EXPECT_EQ(form.lbInfo.caption, W("Подключение...."_w));
  EXPECT_EQ(form.img.height, 78);
  EXPECT_EQ(form.lbInfo.top, 78);
  EXPECT_FALSE(form.Stopped);
  EXPECT_EQ(form.FrameCount, 0);
  EXPECT_FALSE(form.JpegFrame.has_value());
}

TEST_F(TVFormTest, FramesAreDrawnUnscaledOverWhatWasThereAndCounted) {
  TTVForm form;
  form.SetClientSize(120, 115);  // img 120 x 100
  form.StartTime -= 2500ms;    // two whole seconds ago
  form.GifFrame = Solid(120, 100, 0x0000FF);
  form.TrafficTotal = 1.5;
  form.ShowFrame();
  EXPECT_TRUE(form.visible);
  form.GifFrame = {};
  form.JpegFrame = Solid(5, 4, 0xFF0000);  // smaller: the rest stays
  form.TrafficTotal = 4.0;
  form.ShowFrame();
  const ui::Bitmap& canvas = form.img.canvas();
  ASSERT_EQ(canvas.width, 120);
  ASSERT_EQ(canvas.height, 100);
  EXPECT_EQ(canvas.pixels[0], 0xFF0000u);
  EXPECT_EQ(canvas.pixels[3 * 120 + 4], 0xFF0000u);
  EXPECT_EQ(canvas.pixels[3 * 120 + 5], 0x0000FFu);
  EXPECT_EQ(canvas.pixels[4 * 120], 0x0000FFu);
  EXPECT_EQ(canvas.pixels.back(), 0x0000FFu);
  EXPECT_EQ(form.lbInfo.caption, W("fps: 1,00 Траф: 2,50 Всего: 4,00"_w));
  EXPECT_EQ(form.TrafficPrev, 4.0);
}

TEST_F(TVFormTest, TheOperatorCannotDragItBelowItsLeastSize) {
  TTVForm form;
  form.SetClientSize(10, 10);
  EXPECT_EQ(form.width, TTVForm::kMinWidth);
  EXPECT_EQ(form.height, TTVForm::kMinHeight);
  EXPECT_EQ(form.client_width, TTVForm::kFrame.ClientWidth(TTVForm::kMinWidth));
  EXPECT_EQ(form.img.height, form.client_height - TTVForm::kInfoRoom);
}

TEST_F(TVFormTest, ClosingHidesAndStopsItForGoodAndTellsTheSession) {
  TTVForm form;
  int told = 0;
  form.on_viewer_closed = [&] { ++told; };
  form.Show();
  form.OperatorClose();
  EXPECT_FALSE(form.visible);
  EXPECT_TRUE(form.Stopped);
  EXPECT_EQ(told, 1);
  form.GifFrame = Solid(2, 2, 1);
  form.ShowFrame();  // a frame on its way when it closed
  EXPECT_FALSE(form.visible);
  form.ShowLinkError();
  EXPECT_EQ(form.lbInfo.caption, W("Ошибка связи!"_w));
}

TEST_F(TVFormTest, EachStationsViewerKeepsItsOwnPlacement) {
  {
    TTVForm seven;
    seven.SetStationNumber(7);
    EXPECT_EQ(seven.name, "TVAZS7");
    seven.left = 300;
    seven.SetClientSize(400, 315);
    seven.OperatorClose();
  }
  TTVForm again, other;
  again.SetStationNumber(7);
  other.SetStationNumber(8);
  EXPECT_EQ(again.left, 300);
  EXPECT_EQ(again.client_width, 400);
  EXPECT_EQ(again.img.height, 300);
  EXPECT_EQ(other.client_width, 104);
}

}  // namespace
}  // namespace pw::interactive
