#include "renderer/win32/message_pump.h"

#include <algorithm>
#include <stdexcept>

#include "ui/dispatcher.h"

namespace pw::renderer {

namespace {

constexpr wchar_t kClassName[] = L"PumpwireDispatcher";
constexpr UINT_PTR kTimerId = 1;
constexpr int kMessagesPerWake = 16;

// The module holding this code (the plug-in, not the application).
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// Milliseconds from now until t, rounded up so a wait never ends early;
// INFINITE for time_point::max().
DWORD MillisecondsUntil(ui::MessagePump::Clock::time_point t) {
  using namespace std::chrono;
  if (t == ui::MessagePump::Clock::time_point::max()) return INFINITE;
  const auto left = ceil<milliseconds>(t - ui::MessagePump::Clock::now()).count();
  return static_cast<DWORD>(std::clamp<long long>(left, 0, 0x7FFFFFFE));
}

}  // namespace

Win32MessagePump::Win32MessagePump() {
  wake_message_ = RegisterWindowMessageW(L"PumpwireDispatcherWake");
  work_event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Win32MessagePump::WindowProc;
  wc.hInstance = ThisModule();
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // fails harmlessly when a former Load registered it
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                            nullptr);
  if (window_ == nullptr || work_event_ == nullptr || wake_message_ == 0) {
    if (work_event_ != nullptr) CloseHandle(work_event_);
    throw std::runtime_error("the main thread's message window could not be made");
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32MessagePump::~Win32MessagePump() {
  KillTimer(window_, kTimerId);
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);  // a wake-up still queued for it goes with it
  UnregisterClassW(kClassName, ThisModule());
  CloseHandle(work_event_);
}

void Win32MessagePump::ScheduleWork() {
  SetEvent(work_event_);
  if (!wake_posted_.exchange(true) && !PostMessageW(window_, wake_message_, 0, 0))
    wake_posted_ = false;  // a full queue: the next work tries again
}

void Win32MessagePump::ScheduleTimer(Clock::time_point due) {
  if (due == Clock::time_point::max()) {
    KillTimer(window_, kTimerId);
    return;
  }
  // SetTimer with the same id replaces the earlier one.
  SetTimer(window_, kTimerId, std::max<DWORD>(MillisecondsUntil(due), USER_TIMER_MINIMUM), nullptr);
}

void Win32MessagePump::WaitForWork(Clock::time_point deadline) {
  // A few at a time, always: a window that stays invalid hands out WM_PAINT
  // without end, and a flush may post the next one; the caller looks at its
  // deadline and its work between.
  MSG msg;
  for (int n = 0; n < kMessagesPerWake && also_served_ != nullptr &&
                  PeekMessageW(&msg, also_served_, 0, 0, PM_REMOVE);
       ++n)
    DispatchMessageW(&msg);
  const DWORD r = MsgWaitForMultipleObjectsEx(1, &work_event_, MillisecondsUntil(deadline),
                                              QS_PAINT | QS_SENDMESSAGE, 0);
  if (r != WAIT_OBJECT_0 + 1) return;  // work, the deadline, or a failed wait
  // Messages sent from other threads are delivered inside PeekMessage.
  for (int n = 0; n < kMessagesPerWake && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++n)
    DispatchMessageW(&msg);
}

LRESULT CALLBACK Win32MessagePump::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* pump = reinterpret_cast<Win32MessagePump*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (pump != nullptr && (msg == pump->wake_message_ || (msg == WM_TIMER && wparam == kTimerId))) {
    if (msg == pump->wake_message_) pump->wake_posted_ = false;
    ui::Dispatcher::instance().run_posted_work();
    return 0;
  }
  return DefWindowProcW(window, msg, wparam, lparam);
}

}  // namespace pw::renderer
