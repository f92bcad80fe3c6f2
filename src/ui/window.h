// Windows as models. A window is a C++ object with the name of its class in
// the system (TInetForm, TProgressForm, ...) whose controls are small models
// (caption, text, items, checked, enabled, visible, sizes). A backend renders
// them; the headless backend only keeps their state, which hosts and tests
// read and drive through the window system.
//
// Every window and control is touched on the main thread only; their
// operations and event handlers check it (Dispatcher::assert_on_main_thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/event_handler.h"

namespace pw::ui {

class Window;
class MenuEntry;

// Window messages of the system.
inline constexpr std::uint32_t kWmUser = 0x0400;
inline constexpr std::uint32_t WM_LOGLINE = kWmUser + 1;  // 1025

// A window message: its number, the two integer parameters of the window
// system (wParam, lParam) and a text for the messages that carry one.
struct Message {
  std::uint32_t msg = 0;
  std::intptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::string text;
};

class Control {
 public:
  Control(Window& owner, std::string name);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Window& owner() const { return owner_; }
  const std::string& name() const { return name_; }
  // What sort of control this is ("ListBox", "ComboBox", ...), for whoever
  // shows or drives the models from outside the plug-in.
  virtual const char* kind() const { return "Control"; }

  std::string caption;  // caption or text, Windows-1251
  std::string hint;
  bool visible = true;
  bool enabled = true;
  int left = 0, top = 0, width = 0, height = 0;
  // The control it sits in (a page, a group box), if any: a disabled or
  // hidden parent takes its controls out of the operator's reach.
  Control* parent = nullptr;

  // Whether the operator can act on it: it and every parent enabled and shown.
  virtual bool Reachable() const;

  void SetBounds(int new_left, int new_top, int new_width, int new_height);

  // What a click or key press does; set by the window that owns the control.
  EventHandler<void()> on_click;

 private:
  Window& owner_;
  std::string name_;
};

// A list of lines with one selected (the log lists, list boxes).
class ListBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "ListBox"; }
  std::vector<std::string> items;
  int item_index = -1;

  // Appends a line and selects it, so the newest line is in view.
  void AddAndSelect(std::string line);
};

class CheckBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "CheckBox"; }
  bool checked = false;
};

class Window {
 public:
  explicit Window(std::string class_name);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& class_name() const { return class_name_; }
  std::uint64_t id() const { return id_; }

  std::string name;  // the component name ("TVAZS7"); empty when it has none
  std::string caption;
  bool visible = false;
  int left = 0, top = 0, width = 0, height = 0;  // outer edges
  int client_width = 0, client_height = 0;      // the inside, where controls sit
  bool tool_window = false;                      // thin caption, no minimise/maximise
  bool stays_on_top = false;
  const MenuEntry* main_menu = nullptr;          // the window's own menu bar, if any
  int min_width = 0, min_height = 0;             // the least outer size the operator can drag to
  // How a modal dialog was closed by one of its own buttons while it was
  // shown; None while it is open (see Operator::ShowModal).
  enum class ModalResult { None, Ok, Cancel };
  ModalResult modal_result = ModalResult::None;

  virtual void Show();
  virtual void Hide();

  // The operator drags the window's edge so the inside becomes client_w x
  // client_h; the outer size changes by the same amounts, not below
  // min_width x min_height (the inside then gives way), and on_resize lays
  // the controls out anew.
  void SetClientSize(int client_w, int client_h);
  EventHandler<void()> on_resize;
  // What the window's close button does; a window that does not set it is
  // hidden.
  EventHandler<void()> on_close;
  void OperatorClose();

  const std::vector<Control*>& controls() const { return controls_; }
  Control* FindControl(std::string_view name) const;

  // A window message delivered on the main thread. Every message arrives
  // here first; the default hands its number and text on to the short form
  // below, which is enough for windows whose messages carry only a text.
  virtual void HandleMessage(const Message& m);
  virtual void HandleMessage(std::uint32_t msg, std::string_view data);

 private:
  friend class Control;
  std::string class_name_;
  std::uint64_t id_;
  std::vector<Control*> controls_;
};

// Delivers a message to the window on the main thread and waits until it is
// handled (inline when called there).
void SendMessage(Window& window, const Message& m);
void SendMessage(Window& window, std::uint32_t msg, std::string_view data);
void SendMessage(Window& window, std::uint32_t msg, std::intptr_t wparam, std::intptr_t lparam);
// Queues a message for the window and returns at once; dropped if the window
// is gone by the time the main thread takes it. Any thread.
void PostMessage(const Window& window, Message m);
void PostMessage(const Window& window, std::uint32_t msg, std::string data);
void PostMessage(const Window& window, std::uint32_t msg, std::intptr_t wparam,
                 std::intptr_t lparam);

// Every live window, in the order of creation. Main thread only.
std::vector<Window*> AllWindows();
Window* FindWindowById(std::uint64_t id);

}  // namespace pw::ui
