// The process-wide state that Load sets up and UnLoad releases. It is read
// by every part of the plug-in; the user-interface thread alone changes it,
// except AutoMode (in the context), which the automatic send thread reads and clears.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interactive/tv_session.h"
#include "renderer/native_ui.h"
#include "services/plugin_context.h"

namespace pw {

class CMenuProc;
namespace interactive {
class TTextInputForm;
class TInteractiveForm;
class TSmListForm;
}  // namespace interactive
namespace station {
class TInetForm;
}
namespace office {
class TInetOfficeForm;
}

// The mode, the host and the remembered addresses are the part the windows
// are given (PluginContext).
struct PluginState : PluginContext {
  PluginState();
  ~PluginState();

  std::uint32_t application_window = 0;
  // The OS's own windows for the models, when the application's loop
  // carries the main thread (none under a host of the headless windows).
  // Made first at Load, gone last at UnLoad.
  std::unique_ptr<renderer::NativeUi> native_ui;
  std::unique_ptr<CMenuProc> menu_proc;
  // The windows Load creates and UnLoad frees (main thread only).
  std::unique_ptr<station::TInetForm> station_window;      // station mode
  std::unique_ptr<office::TInetOfficeForm> office_window;  // office mode
  std::unique_ptr<interactive::TTextInputForm> text_input;
  std::unique_ptr<interactive::TInteractiveForm> message_window;
  std::unique_ptr<interactive::TSmListForm> shift_list;
  // The TV session of each station number 0..100, or none.
  interactive::TVSessionTable TVSessions;
};

PluginState& State();

}  // namespace pw
