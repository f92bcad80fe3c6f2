#include "app/application.h"

#include <exception>
#include <thread>

#include "app/command_reader.h"
#include "app/utf8.h"
#include "host/folder_setup.h"
#include "host/menu_paths.h"
#include "platform/files.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"
#include "text/cp1251.h"

namespace pw::app {

namespace {

constexpr wchar_t kWindowClass[] = L"PumpwireApp";
// A change in the log's folder is told at once; the log is looked at this
// often besides (a folder whose changes the system does not tell, or does
// not tell while the file is open), or as often as this without a watch.
constexpr UINT kLogEveryMs = 1000;
constexpr UINT kLogUnwatchedEveryMs = 100;
constexpr UINT kLogChanged = WM_APP + 10;

}  // namespace

Application::Application(host::HostOptions options)
    : options_(std::move(options)), root_(text::cp1251_from_utf8(options_.root)) {}

int Application::Run() {
  try {
    host::PrepareHostFolder(options_);
    CreateMainWindow();
    LoadPlugin();
  } catch (const std::exception& e) {
    out_.Error(text::utf8_from_cp1251(e.what()));
    return 1;
  }
  std::thread reader;
  if (input_.present()) {
    reader = std::thread([this] {
      CommandReader(CommandTargets{window_, options_.mode, out_, *link_, *shown_, *host_, *plugin_}).Run(input_);
    });
  }
  MessageLoop();
  // Standard input may never end (a console nobody types into): the reader
  // is left to the end of the process.
  if (reader.joinable()) reader.detach();
  plugin_.reset();
  return 0;
}

void Application::CreateMainWindow() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (::RegisterClassExW(&window_class) == 0) platform::ThrowLastError("RegisterClassExW", "PumpwireApp");
  const std::wstring caption = L"Pumpwire back office - " +
                               std::wstring(options_.mode == PW_MODE_STATION ? L"station " : L"office ") +
                               WideFromUtf8(options_.name);
  window_ = ::CreateWindowExW(0, kWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 640, 480, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) platform::ThrowLastError("CreateWindowExW", "PumpwireApp");
  bar_ = std::make_unique<MenuBar>(window_);
  link_ = std::make_unique<MainThreadLink>(window_);
  shown_ = std::make_unique<ShownWindows>();
  host_ = std::make_unique<MenuBarHost>(root_ + "host" + platform::kPathSeparator,
                                        text::cp1251_from_utf8(options_.name), options_.interface_version,
                                        [this](const std::string& line) { out_.Line(line); }, *bar_);
  host_->SetReportCommand(text::cp1251_from_utf8(options_.report_command));
  host::CreateMenuPaths(*host_, options_.menu_items);
  ::ShowWindow(window_, SW_SHOW);
  ::UpdateWindow(window_);
}

void Application::LoadPlugin() {
  plugin_ = std::make_unique<PluginLibrary>(options_.plugin);
  // Lines already in the log are not new; Load's are.
  log_.emplace(root_ + "LogFiles" + platform::kPathSeparator + "Pumpwire.log");
  log_watch_ = std::make_unique<LogWatch>(platform::Wide(root_ + "LogFiles"), window_, kLogChanged);
  // The window handle as the interface carries it: 32 bits, which every
  // window handle fits in, on 64-bit Windows too.
  const auto handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window_));
  const int32_t result = plugin_->Load(handle, options_.mode, host_.get());
  loaded_ = true;
  // Its note on standard error comes before the Load line, so a script that
  // has read that line knows which window system it drives.
  bridge_ = HeadlessBridge::IfNeeded(window_, out_, [this] { FlushLog(); });
  out_.Line("Load: " + std::to_string(result));
  FlushLog();
  ::SetTimer(window_, kLogTimer, log_watch_->watching() ? kLogEveryMs : kLogUnwatchedEveryMs, nullptr);
}

void Application::MessageLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // The plug-in's shortcuts belong to the application window, not to the
    // plug-in's own windows.
    HACCEL keys = bar_->accelerators();
    if (keys != nullptr && ::GetAncestor(message.hwnd, GA_ROOT) == window_ &&
        ::TranslateAcceleratorW(window_, keys, &message))
      continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

LRESULT CALLBACK Application::WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Application*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) return ::DefWindowProcW(window, message, wparam, lparam);
  // Nothing may unwind through the system's frames.
  try {
    return self->Handle(message, wparam, lparam);
  } catch (const std::exception& e) {
    self->out_.Error(text::utf8_from_cp1251(e.what()));
    return 0;
  }
}

LRESULT Application::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (link_ && link_->Handle(message, wparam, lparam)) {
    FlushLog();
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      // A menu item (0) or its shortcut (1).
      if (lparam == 0 && HIWORD(wparam) <= 1 && bar_->Click(LOWORD(wparam))) {
        FlushLog();
        return 0;
      }
      break;
    case kLogChanged:
      log_watch_->Taken();
      FlushLog();
      return 0;
    case WM_TIMER:
      if (wparam == kLogTimer) FlushLog();
      else if (wparam == HeadlessBridge::kTimer && bridge_) bridge_->Serve();
      return 0;
    case WM_CLOSE:
      // A person cannot close a window a modal window is open over; a
      // "quit" waits for the modal window to go.
      if (!::IsWindowEnabled(window_)) {
        if (!close_pending_) out_.Error("closing waits for the modal window that is open");
        close_pending_ = true;
        return 0;
      }
      Close();
      return 0;
    case WM_ENABLE:
      if (wparam && close_pending_) {
        close_pending_ = false;
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

void Application::Close() {
  if (loaded_) {
    loaded_ = false;
    const int32_t result = plugin_->UnLoad();
    FlushLog();  // the lines UnLoad wrote come before its result
    out_.Line("UnLoad: " + std::to_string(result));
    // Its threads may still run: the plug-in's code stays in the process.
    if (result != 0) plugin_->Keep();
    bridge_.reset();
  }
  ::KillTimer(window_, kLogTimer);
  log_watch_.reset();
  link_->Close();
  ::DestroyWindow(window_);
}

void Application::FlushLog() {
  if (!log_) return;
  const std::vector<std::string> lines = log_->PollTellingFailureOnce(
      [this](const std::string& what) { out_.Error(text::utf8_from_cp1251(what)); });
  for (const auto& line : lines) out_.Line("log: " + text::utf8_from_cp1251(host::WithoutStamp(line)));
}

}  // namespace pw::app
