#include "host/message_watch.h"

#include "host/window_printer.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw::host {

namespace {

constexpr const char* kMessageWindow = "TInteractiveForm";
constexpr const char* kHidden = "message: hidden";

// The notice as a line; "" while the plug-in has no message window.
std::string Notice() {
  for (const ui::Window* w : ui::AllWindows()) {
    if (w->class_name() != kMessageWindow) continue;
    if (!w->visible) return kHidden;
    const ui::Control* label = w->FindControl("Label1");
    return "message: \"" + Printable(w->caption) + "\" | " +
           Printable(label != nullptr ? label->caption : std::string());
  }
  return {};
}

}  // namespace

// A parked window at the start is nothing to tell.
MessageWatch::MessageWatch(std::string history_path)
    : history_(std::move(history_path)), shown_(kHidden) {}

bool MessageWatch::NoticeChanged() const {
  const std::string notice = Notice();
  // No window (before Load, after UnLoad) leaves nothing to compare.
  return !notice.empty() && notice != shown_;
}

std::optional<std::string> MessageWatch::TakeNotice() {
  if (!NoticeChanged()) return std::nullopt;
  shown_ = Notice();
  return shown_;
}

std::vector<std::string> MessageWatch::TakeHistory() {
  std::vector<std::string> lines;
  for (const std::string& line : history_.Poll())
    lines.push_back("history: " + Printable(WithoutStamp(line)));
  return lines;
}

}  // namespace pw::host
