#include "interactive/interactive_form.h"

#include <string>

#include "interactive/message_history.h"
#include "platform/screen.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"

namespace pw::interactive {

namespace {

int ScreenWidth() { return platform::PrimaryScreenSize().width; }
int ScreenHeight() { return platform::PrimaryScreenSize().height; }

void Fill(ui::Control& c, const ui::Window& w) {
  c.left = 0;
  c.top = 0;
  c.width = w.client_width;
  c.height = w.client_height;
}

// A notice's body as the history writes it. Its line breaks are kept: a
// text's lines are separated by CR, as the sender's history keeps them, and
// a file notice's by CR LF, which only the system writes (a received line
// never holds an LF: the line reader ends a line there). Any other control
// byte came from the wire and is made visible.
std::string HistoryText(std::string_view body) {
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t end = body.find('\r', start);
    out += text::VisibleText(body.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
    const bool crlf = start < body.size() && body[start] == '\n';
    out += crlf ? "\r\n" : "\r";
    if (crlf) ++start;
  }
}

}  // namespace

TScreenshotViewer::TScreenshotViewer() : ui::Window("TForm") {
  left = 0;
  top = 0;
  width = kOuterSize;
  height = kOuterSize;
  client_width = kFrame.ClientWidth(kOuterSize);
  client_height = kFrame.ClientHeight(kOuterSize);
  Fill(Image1, *this);
  Image1.stretch = true;
  Image1.proportional = false;
}

TInteractiveForm::TInteractiveForm(const PluginContext& plugin)
    : ui::Window("TInteractiveForm"), plugin_(plugin) {
  // The notice sets the caption; the window has none of its own.
  stays_on_top = true;
  width = kNoticeWidth;
  height = kNoticeHeight;
  client_width = 369;
  client_height = 134;

  Fill(Panel1, *this);
  Panel1.bevel_lowered = true;
  Panel1.color = "clMoneyGreen";
  Panel1.font = ui::Font{"Times New Roman", 12};  // 16 pixels at 96 dpi
  Panel1.bold = true;
  // The text fills the panel inside its bevel and carries the panel's look.
  Label1.parent = &Panel1;
  Label1.SetBounds(1, 1, client_width - 2, client_height - 2);
  Label1.alignment = ui::Alignment::Center;
  Label1.font = Panel1.font;
  Label1.bold = true;
  Label1.color = kMoneyGreen;

  Timer1.on_timer = [this] { Timer1Timer(); };
  Park();
}

TInteractiveForm::~TInteractiveForm() = default;

void TInteractiveForm::Park() { top = ScreenHeight() + kParkDepth; }

void TInteractiveForm::ShowIncoming(std::string_view title, std::string_view body,
                                    std::string_view sender) {
  ShowNotice(title, body);
  std::string line;
  if (plugin_.is_office()) {
    line = "Принято от "_w;
    line += text::VisibleText(sender);
    line += " : ";
  } else {
    line = "Принято : "_w;
  }
  line += HistoryText(Body);
  AppendHistory(line);
}

void TInteractiveForm::ShowNotice(std::string_view title, std::string_view body) {
  Title = title;
  Body = body;
  // Text first, so the window never shows the former notice's.
  Label1.caption = Body;
  caption = Title;
  // A hidden window is brought in even when it is not below the screen (a
  // screen that has grown since it was parked), or the notice would be lost.
  const int screen_height = ScreenHeight();
  if (!visible || top > screen_height) {
    top = screen_height;
    width = kNoticeWidth;
    height = kNoticeHeight;
    Timer1.SetEnabled(true);
    Show();  // the model's Show takes no focus, so the active window keeps it
  }
}

void TInteractiveForm::Notify(std::string_view title, std::string_view body,
                              std::string_view sender) {
  ui::RunOnMainThread([&] { ShowIncoming(title, body, sender); });
}

void TInteractiveForm::Timer1Timer() {
  left = ScreenWidth() - width;
  top -= kSlideStep;
  if (top <= ScreenHeight() - height) Timer1.SetEnabled(false);
}

void TInteractiveForm::FormClose() {
  // A close in mid-slide stops the slide too; left running it would carry
  // the hidden window back onto the screen, where the next notice would
  // count it as shown.
  Timer1.SetEnabled(false);
  Park();
  Hide();
}

ui::Answer TInteractiveForm::ShowScreenshot(std::string_view station_name) {
  TScreenshotViewer viewer;
  std::string title = "Скриншот с "_w.data();
  title.append(station_name);
  viewer.caption = title;
  viewer.Image1.picture = ui::Bitmap{Screenshot.width, Screenshot.height, Screenshot.pixels};
  return ui::Operator::instance().ShowModal(viewer);
}

}  // namespace pw::interactive
