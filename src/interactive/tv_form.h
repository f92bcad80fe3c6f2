// The TV viewer of one station (TTVForm): the frames its session fetches,
// drawn unscaled at the top-left of img, and a line of statistics along the
// bottom. Always on top, sizeable; its size is the size of the frames the
// station is asked for. Owned by its session (tv_session.h), which releases
// it when the stream ends; closing it only hides it.
//
// Main thread only, as every window. The session's thread fills GifFrame,
// JpegFrame and TrafficTotal inside the synchronised call that runs
// ShowFrame.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/pixel_image.h"
#include "ui/controls.h"
#include "ui/window.h"
#include "ui/window_frame.h"

namespace pw::interactive {

class TTVForm : public ui::Window {
 public:
  using Clock = std::chrono::steady_clock;

  // Design client area and the room of the bottom label: frames are asked
  // for at the client width and the client height less kInfoRoom.
  static constexpr int kDesignClientWidth = 104;
  static constexpr int kDesignClientHeight = 93;
  static constexpr int kInfoRoom = 15;
  static constexpr ui::WindowFrame kFrame = ui::kSizeableFrame;
  static constexpr int kMinWidth = 100;
  static constexpr int kMinHeight = 120;

  // FormCreate: hidden, "Подключение....", no frame yet, the clock started.
  TTVForm();
  // Keeps the placement for the next viewer of the same name.
  ~TTVForm() override;

  // Names the viewer "TVAZS" + number and puts it where the viewer of that
  // name was last (FormPlacement1).
  void SetStationNumber(std::int32_t number);

  bool Stopped = false;
  std::int32_t FrameCount = 0;
  Clock::time_point StartTime;
  double TrafficTotal = 0;  // kilobytes (1000 bytes) received
  double TrafficPrev = 0;   // TrafficTotal at the previous frame
  platform::PixelImage GifFrame;                 // empty while frames come as JPEG
  std::optional<platform::PixelImage> JpegFrame;  // none while frames come as GIF

  // Draws GifFrame, then JpegFrame, at (0, 0) of img at their own size, and
  // sets lbInfo to "fps: F Траф: F Всего: F" (two decimals, decimal comma):
  // frames since the window was made per whole second since then (within
  // the first second, the frames so far, as if one second had passed), the
  // latest frame's kilobytes, the total. A hidden window not Stopped is
  // shown again. A failure here shows "Ошибка отображения!" instead.
  void ShowFrame();
  // "Ошибка связи!" and Stopped.
  void ShowLinkError();
  // The operator closes the viewer: Stopped, hidden (not freed), and
  // on_viewer_closed told, so the session ends at once.
  void FormClose();
  // Lays img and lbInfo out over the client area.
  void FormResize();

  std::function<void()> on_viewer_closed;

  ui::PaintBox img{*this, "img"};
  ui::Label lbInfo{*this, "lbInfo"};

 private:
  void TrySavePlacement() const;
};

// "0.00" with the decimal comma of the stations' Russian settings.
std::string TwoDecimals(double value);

}  // namespace pw::interactive
