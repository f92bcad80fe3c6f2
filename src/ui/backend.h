// The seam between the window models and whatever shows them. The models
// (window.h, controls.h) tell the backend of every change; the backend shows
// the windows, asks the operator its questions, and, where a host's own
// message loop carries the main thread, keeps the dispatcher's work moving
// (main_loop.h). The headless backend, the default, shows nothing and takes
// the operator's answers from the queues of the Operator (operator.h); a
// native renderer is installed by the plug-in at Load where its OS has one.
//
// Every call comes on the main thread. A change may be told before it is
// complete (a list changed in place announces first): a renderer notes what
// changed and reads the models once the main thread's current work is done.
#pragma once

#include <optional>
#include <string>

namespace pw::ui {

class Window;
class Control;

enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };

// The picture a message box shows beside its text.
enum class BoxIcon { None, Error, Warning, Information, Question };

// A message box as the system asks it: every box is task-modal (the
// application's windows wait for it); on_top keeps it above other
// programs' windows; system_modal makes it a system message box; owned:
// owned by the application's window rather than by none.
struct BoxRequest {
  std::string caption;  // Windows-1251
  std::string text;     // Windows-1251; CR or CR LF break lines
  Buttons buttons = Buttons::Ok;
  BoxIcon icon = BoxIcon::None;
  bool on_top = false;
  bool system_modal = false;
  bool owned = true;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // A window's lifetime: shown (made on its first showing), hidden, changed
  // (caption, bounds, style), destroyed (from its destructor, after the
  // controls a window class holds as members are gone).
  virtual void WindowShown(Window& window) = 0;
  virtual void WindowHidden(Window& window) = 0;
  virtual void WindowChanged(Window& window) = 0;
  virtual void WindowDestroyed(Window& window) = 0;
  // A hidden window that other programs of the host may find by its class
  // and send window messages to (from kWmUser on, to its HandleMessage):
  // made now, not at its first showing.
  virtual void WindowAddressable(Window& window) = 0;
  // A control changed (text, state, items, bounds) or goes away (from its
  // destructor).
  virtual void ControlChanged(Control& control) = 0;
  virtual void ControlDestroyed(Control& control) = 0;
  // Brings a shown window in front of the others.
  virtual void BringToFront(Window& window) = 0;

  // The operator's questions. ShowMessageBox waits for the answer; RunModal
  // shows window modally (its owner disabled) until the operator closes it,
  // by one of its own buttons (window.modal_result) or otherwise (Cancel);
  // ChooseFileToOpen is the file-open dialog: the chosen path in
  // Windows-1251, nothing when cancelled.
  virtual Answer ShowMessageBox(const BoxRequest& box) = 0;
  virtual Answer RunModal(Window& window) = 0;
  virtual std::optional<std::string> ChooseFileToOpen(const std::string& caption) = 0;
};

// The backend in use: the installed one, else the headless backend.
Backend& CurrentBackend();
// Installs backend (nullptr: back to the headless one). The caller keeps it
// alive while installed. Main thread only, with no window shown.
void InstallBackend(Backend* backend);

}  // namespace pw::ui
