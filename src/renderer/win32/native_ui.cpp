// The Windows windows of the models: the renderer and the message pump,
// installed together for as long as the plug-in is loaded.
#include <windows.h>

#include <cstdint>

#include "renderer/native_ui.h"
#include "renderer/win32/message_pump.h"
#include "renderer/win32/win32_renderer.h"
#include "ui/backend.h"
#include "ui/dispatcher.h"

namespace pw::renderer {

namespace {

class Win32NativeUi final : public NativeUi {
 public:
  explicit Win32NativeUi(HWND app_window) : renderer_(app_window) {
    pump_.AlsoServe(renderer_.flush_window());
    ui::InstallBackend(&renderer_);
    ui::Dispatcher::instance().set_message_pump(&pump_);
  }
  ~Win32NativeUi() override {
    ui::Dispatcher::instance().set_message_pump(nullptr);
    ui::InstallBackend(nullptr);
  }

  void KeepLoaded() override {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&InstallNativeUi), &module);
  }

 private:
  Win32MessagePump pump_;
  win32::Win32Renderer renderer_;
};

}  // namespace

std::unique_ptr<NativeUi> InstallNativeUi(std::uint32_t app_window) {
  // The handle crosses the plug-in's interface as 32 bits, as the
  // application's window handles are.
  return std::make_unique<Win32NativeUi>(
      reinterpret_cast<HWND>(static_cast<std::uintptr_t>(app_window)));
}

}  // namespace pw::renderer
