// The message window: the notice that slides up in the lower right corner of
// the screen when a text message or a file arrives, and the modal viewer of a
// fetched screenshot. One exists per loaded plug-in; between notices it is
// parked hidden far below the screen.
//
//   parked (hidden, Top = screen height + 1500)
//     -> sliding in (visible, Timer1 on, 5 pixels every 10 ms)
//     -> shown (Timer1 off, lower right corner)
//     -> parked again when the operator closes it.
//
// Everything here is main thread only, except Notify.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/pixel_image.h"
#include "services/plugin_context.h"
#include "ui/controls.h"
#include "ui/operator.h"
#include "ui/window.h"
#include "ui/window_frame.h"

namespace pw::interactive {

// A panel: a bevelled area with its own colour and font.
inline constexpr std::uint32_t kMoneyGreen = 0x00C0DCC0;  // clMoneyGreen (0x00BBGGRR)

class Panel : public ui::Control {
 public:
  using Control::Control;
  bool bevel_lowered = false;
  std::string color;  // the platform's colour name
  ui::Font font;
  bool bold = false;
};

// The plain window the screenshot is shown in: no owner, one picture control
// over the whole client area.
class TScreenshotViewer : public ui::Window {
 public:
  static constexpr int kOuterSize = 500;
  static constexpr ui::WindowFrame kFrame = ui::kSizeableFrame;

  TScreenshotViewer();
  ui::Image Image1{*this, "Image1"};
};

class TInteractiveForm : public ui::Window {
 public:
  static constexpr int kNoticeWidth = 380;   // outer size while a notice is up
  static constexpr int kNoticeHeight = 160;
  static constexpr int kParkDepth = 1500;    // how far below the screen it waits
  static constexpr int kSlideStep = 5;       // pixels per timer step
  static constexpr std::chrono::milliseconds kSlidePeriod{10};

  // Hidden and parked, the timer off, the screenshot empty.
  // plugin (for the mode) must outlive the window.
  explicit TInteractiveForm(const PluginContext& plugin);
  ~TInteractiveForm() override;

  // Caption and text of the notice on show; CR characters in the text break
  // lines.
  std::string Title;
  std::string Body;
  // The last screenshot received, decoded.
  platform::PixelImage Screenshot;

  // Top := screen height + 1500, out of sight until the next notice.
  void Park();

  // Shows a notice. A parked (or otherwise hidden) window is placed with its
  // top at the bottom of the screen, sized 380 x 160, made visible and slid
  // in by Timer1; a window already up keeps its place and size and only
  // changes caption and text. Then writes the history line: at the office
  // "Принято от " + sender + " : " + body, at a station "Принято : " + body.
  // The sender is the station whose session brought the notice (unused at a
  // station); it comes with the call rather than from the latest handshake,
  // which another connection may have replaced or cleared meanwhile. The
  // window shows the body as it came; the history line has the control
  // bytes of sender and body made visible, all but the body's line breaks
  // (a text's CR, a file notice's CR LF). A history error is raised after the notice is up.
  void ShowIncoming(std::string_view title, std::string_view body, std::string_view sender = {});

  // A notice of the plug-in's own (a log that cannot be written), shown as
  // ShowIncoming shows one; the history, which records what was received,
  // gets no line.
  void ShowNotice(std::string_view title, std::string_view body);

  // Any thread: runs ShowIncoming on the main thread and waits, title, body
  // and sender travelling together so two listeners never mix their notices.
  void Notify(std::string_view title, std::string_view body, std::string_view sender = {});

  // The slide-in step: Left := screen width - outer width; Top -= 5; the
  // timer stops once the window stands fully on the screen.
  void Timer1Timer();

  // The operator closes the notice: parked and hidden instead, the window
  // lives on for the next one.
  void FormClose();
  void Close() { FormClose(); }

  // Shows Screenshot in a modal TScreenshotViewer captioned "Скриншот с " +
  // the station's name, stretched over the viewer; returns when the
  // operator has closed it. The viewer is freed before returning.
  ui::Answer ShowScreenshot(std::string_view station_name);

  // Controls. Captions are Windows-1251.
  Panel Panel1{*this, "Panel1"};
  ui::Label Label1{*this, "Label1"};  // centred, word-wrapped, text at the top
  ui::Timer Timer1{"Timer1", kSlidePeriod};

 private:
  const PluginContext& plugin_;
};

}  // namespace pw::interactive
