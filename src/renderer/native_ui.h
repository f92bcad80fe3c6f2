// The OS's own windows for the window models, where the OS has them: a
// renderer (ui::Backend) that shows every model as native windows owned by
// the application's window, and a message pump through which the
// application's own message loop carries the main thread. Installed by the
// shell at Load, removed at UnLoad once every window is gone.
//
// A host that drives the headless window system itself (pumpwire-host, the
// tests) makes its thread the main thread before Load; the plug-in then
// keeps the headless windows, whatever the OS.
#pragma once

#include <cstdint>
#include <memory>

namespace pw::renderer {

class NativeUi {
 public:
  virtual ~NativeUi() = default;
  // For an UnLoad that leaves threads and windows behind: the plug-in's
  // code stays mapped for them even when the application frees the library.
  virtual void KeepLoaded() = 0;
};

// Installs the renderer and the pump, for windows owned by app_window (the
// handle the application gave Load; 0: none). nullptr where the OS has no
// renderer (then the headless windows stay). Main thread only.
std::unique_ptr<NativeUi> InstallNativeUi(std::uint32_t app_window);

}  // namespace pw::renderer
