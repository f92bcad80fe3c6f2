#include "app/headless_bridge.h"

#include "text/cp1251.h"
#include "app/utf8.h"

namespace pw::app {

namespace {

// Often enough that a worker waiting for the main thread hardly notices.
constexpr UINT kServeEveryMs = 10;

const char* AnswerName(int32_t answer) {
  switch (answer) {
    case 0: return "ok";
    case 1: return "cancel";
    case 2: return "yes";
    case 3: return "no";
  }
  return "?";
}

}  // namespace

std::unique_ptr<HeadlessBridge> HeadlessBridge::IfNeeded(HWND main_window, Output& out,
                                                         std::function<void()> before_box_line) {
  if (::FindWindowExW(HWND_MESSAGE, nullptr, L"PumpwireDispatcher", nullptr) != nullptr) return nullptr;
  HMODULE ui = ::GetModuleHandleW(L"pumpwire-ui.dll");
  if (ui == nullptr) return nullptr;
  auto run_for = reinterpret_cast<RunFor>(reinterpret_cast<void*>(::GetProcAddress(ui, "pw_ui_run_for")));
  auto set_box_observer = reinterpret_cast<SetBoxObserver>(
      reinterpret_cast<void*>(::GetProcAddress(ui, "pw_ui_set_box_observer")));
  if (run_for == nullptr || set_box_observer == nullptr) return nullptr;
  return std::unique_ptr<HeadlessBridge>(
      new HeadlessBridge(main_window, out, std::move(before_box_line), run_for, set_box_observer));
}

HeadlessBridge::HeadlessBridge(HWND main_window, Output& out, std::function<void()> before_box_line,
                               RunFor run_for, SetBoxObserver set_box_observer)
    : window_(main_window),
      main_thread_(::GetCurrentThreadId()),
      out_(out),
      before_box_line_(std::move(before_box_line)),
      run_for_(run_for),
      set_box_observer_(set_box_observer) {
  set_box_observer_(OnBox, this);
  ::SetTimer(window_, kTimer, kServeEveryMs, nullptr);
  out_.Error("note: the plug-in's windows are headless here; its message boxes answer themselves");
}

HeadlessBridge::~HeadlessBridge() {
  ::KillTimer(window_, kTimer);
  set_box_observer_(nullptr, nullptr);
}

void HeadlessBridge::Serve() { run_for_(0); }

void HeadlessBridge::OnBox(void* context, const char* caption, const char* text, int32_t answer) {
  auto& self = *static_cast<HeadlessBridge*>(context);
  // The log's lines that led to the box first, where the log can be read.
  if (::GetCurrentThreadId() == self.main_thread_) self.before_box_line_();
  self.out_.Line("box: " + OneLine(text::utf8_from_cp1251(caption)) + " | " +
                 OneLine(text::utf8_from_cp1251(text)) + " -> " + AnswerName(answer));
}

}  // namespace pw::app
