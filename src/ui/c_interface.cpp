// The window system's plain-C face for hosts (include/pumpwire/ui.h), over
// the dispatcher, the windows and the operator.
#include "pumpwire/ui.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "ui/dispatcher.h"
#include "ui/operator.h"
#include "ui/window.h"

namespace {

// Set by pw_ui_wake, taken by the run it ends.
std::atomic<bool> wake_requested{false};

using pw::ui::Control;
using pw::ui::Dispatcher;
using pw::ui::Window;

int32_t CopyOut(const std::string& text, char* buffer, int32_t size) {
  if (buffer != nullptr && size > 0) {
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(text.size());
}

Window* WindowAt(int32_t index) {
  const std::vector<Window*> all = pw::ui::AllWindows();
  return index >= 0 && static_cast<std::size_t>(index) < all.size() ? all[index] : nullptr;
}

Control* ControlAt(int32_t window, int32_t index) {
  Window* w = WindowAt(window);
  if (w == nullptr || index < 0 || static_cast<std::size_t>(index) >= w->controls().size()) return nullptr;
  return w->controls()[index];
}

}  // namespace

extern "C" {

void pw_ui_attach_main_thread(void) { Dispatcher::instance().attach_main_thread(); }
void pw_ui_detach_main_thread(void) { Dispatcher::instance().detach_main_thread(); }

void pw_ui_run_for(int32_t ms) {
  Dispatcher::instance().run_until([] { return wake_requested.exchange(false); },
                                   std::chrono::milliseconds(std::max(ms, 0)));
}

void pw_ui_wake(void) {
  wake_requested.store(true);
  Dispatcher::instance().wake();
}

void pw_ui_queue_answer(int32_t answer) {
  if (answer < PW_UI_OK || answer > PW_UI_NO) return;
  pw::ui::Operator::instance().QueueAnswer(static_cast<pw::ui::Answer>(answer));
}

void pw_ui_set_box_observer(PwUiBoxObserver observer, void* context) {
  if (observer == nullptr) {
    pw::ui::Operator::instance().SetObserver(nullptr);
    return;
  }
  pw::ui::Operator::instance().SetObserver(
      [observer, context](const std::string& caption, const std::string& text, pw::ui::Answer a) {
        observer(context, caption.c_str(), text.c_str(), static_cast<int32_t>(a));
      });
}

void pw_ui_queue_text(const char* text) {
  if (text != nullptr) pw::ui::Operator::instance().QueueText(text);
}

void pw_ui_queue_chosen_file(const char* path) {
  if (path != nullptr) pw::ui::Operator::instance().QueueChosenFile(path);
}

int32_t pw_ui_window_count(void) { return static_cast<int32_t>(pw::ui::AllWindows().size()); }

int32_t pw_ui_window_class(int32_t window, char* buffer, int32_t size) {
  const Window* w = WindowAt(window);
  return w != nullptr ? CopyOut(w->class_name(), buffer, size) : -1;
}

int32_t pw_ui_window_caption(int32_t window, char* buffer, int32_t size) {
  const Window* w = WindowAt(window);
  return w != nullptr ? CopyOut(w->caption, buffer, size) : -1;
}

int32_t pw_ui_window_visible(int32_t window) {
  const Window* w = WindowAt(window);
  return w != nullptr ? (w->visible ? 1 : 0) : -1;
}

int32_t pw_ui_control_count(int32_t window) {
  const Window* w = WindowAt(window);
  return w != nullptr ? static_cast<int32_t>(w->controls().size()) : -1;
}

int32_t pw_ui_control_name(int32_t window, int32_t control, char* buffer, int32_t size) {
  const Control* c = ControlAt(window, control);
  return c != nullptr ? CopyOut(c->name(), buffer, size) : -1;
}

int32_t pw_ui_control_text(int32_t window, int32_t control, char* buffer, int32_t size) {
  const Control* c = ControlAt(window, control);
  return c != nullptr ? CopyOut(c->caption, buffer, size) : -1;
}

int32_t pw_ui_control_set_text(int32_t window, int32_t control, const char* text) {
  Control* c = ControlAt(window, control);
  if (c == nullptr || text == nullptr) return -1;
  c->caption = text;
  return 0;
}

int32_t pw_ui_control_click(int32_t window, int32_t control) {
  Control* c = ControlAt(window, control);
  if (c == nullptr) return -1;
  if (c->on_click) c->on_click();
  return 0;
}

}  // extern "C"
