#include "interactive/tv_form.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "platform/error.h"
#include "services/form_placement.h"
#include "text/cp1251.h"

namespace pw::interactive {

namespace {

ui::Bitmap AsBitmap(const platform::PixelImage& picture) {
  return ui::Bitmap{picture.width, picture.height, picture.pixels};
}

}  // namespace

std::string TwoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string out = text;
  std::replace(out.begin(), out.end(), '.', ',');
  return out;
}

TTVForm::TTVForm() : ui::Window("TTVForm") {
  stays_on_top = true;
  client_width = kDesignClientWidth;
  client_height = kDesignClientHeight;
  width = kFrame.OuterWidth(client_width);
  height = kFrame.OuterHeight(client_height);
  min_width = kMinWidth;
  min_height = kMinHeight;
  lbInfo.caption = "Подключение...."_w;
  on_resize = [this] { FormResize(); };
  on_close = [this] { FormClose(); };
  FormResize();
  StartTime = Clock::now();
}

TTVForm::~TTVForm() { TrySavePlacement(); }

void TTVForm::SetStationNumber(std::int32_t number) {
  name = "TVAZS" + std::to_string(number);
  try {
    RestorePlacement(*this);
  } catch (const std::exception&) {
    // An unreadable placement file: the design size and place.
  }
  width = std::max<int>(width, min_width);
  height = std::max<int>(height, min_height);
  client_width = kFrame.ClientWidth(width);
  client_height = kFrame.ClientHeight(height);
  FormResize();
}

void TTVForm::FormResize() {
  img.SetBounds(0, 0, client_width, std::max(client_height - kInfoRoom, 0));
  lbInfo.SetBounds(0, std::max(client_height - kInfoRoom, 0), client_width, kInfoRoom);
}

void TTVForm::ShowFrame() {
  ++FrameCount;
  try {
    if (!GifFrame.pixels.empty()) img.Draw(AsBitmap(GifFrame), 0, 0);
    if (JpegFrame) img.Draw(AsBitmap(*JpegFrame), 0, 0);
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - StartTime).count();
    const double fps = static_cast<double>(FrameCount) / static_cast<double>(std::max<decltype(secs)>(secs, 1));
    lbInfo.caption = "fps: " + TwoDecimals(fps) + std::string(" Траф: "_w) +
                     TwoDecimals(TrafficTotal - TrafficPrev) + std::string(" Всего: "_w) +
                     TwoDecimals(TrafficTotal);
    TrafficPrev = TrafficTotal;
    if (!visible && !Stopped) Show();
  } catch (const std::exception&) {
    lbInfo.caption = "Ошибка отображения!"_w;
  }
}

void TTVForm::ShowLinkError() {
  lbInfo.caption = "Ошибка связи!"_w;
  Stopped = true;
}

void TTVForm::FormClose() {
  Stopped = true;
  Hide();
  TrySavePlacement();
  if (on_viewer_closed) on_viewer_closed();
}

void TTVForm::TrySavePlacement() const {
  if (name.empty()) return;
  try {
    SavePlacement(*this);
  } catch (const std::exception&) {
    // The placement is a convenience; the viewer closes all the same.
  }
}

}  // namespace pw::interactive
