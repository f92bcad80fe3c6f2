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
#include "ui/property.h"

namespace pw::ui {

class Window;
class MenuEntry;

// A typeface and its size in points.
struct Font {
  std::string name;
  int size_pt = 8;
};

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

class Control : public ChangeListener {
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

  Property<std::string> caption{this};  // caption or text, Windows-1251
  Property<std::string> hint{this};
  Property<bool> visible{this, true};
  Property<bool> enabled{this, true};
  Property<int> left{this}, top{this}, width{this}, height{this};
  // The control it sits in (a page, a group box), if any: a disabled or
  // hidden parent takes its controls out of the operator's reach.
  Control* parent = nullptr;

  // Whether the operator can act on it: it and every parent enabled and shown.
  virtual bool Reachable() const;

  void SetBounds(int new_left, int new_top, int new_width, int new_height);

  // What a click or key press does; set by the window that owns the control.
  EventHandler<void()> on_click;

  // Tells the backend the control changed (its properties do it themselves).
  void Announce() final;

 private:
  Window& owner_;
  std::string name_;
};

// A list of lines with one selected (the log lists, list boxes).
class ListBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "ListBox"; }
  Property<std::vector<std::string>> items{this};
  Property<int> item_index{this, -1};
  // How far the operator can scroll sideways, in pixels (0: not at all), and
  // the background (0x00BBGGRR).
  int horizontal_extent = 0;
  std::uint32_t color = 0x00FFFFFF;

  // Appends a line and selects it, so the newest line is in view.
  void AddAndSelect(std::string line);
};

class CheckBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "CheckBox"; }
  Property<bool> checked{this};
};

class Window : public ChangeListener {
 public:
  explicit Window(std::string class_name);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& class_name() const { return class_name_; }
  std::uint64_t id() const { return id_; }

  std::string name;  // the component name ("TVAZS7"); empty when it has none
  Property<std::string> caption{this};
  Property<bool> visible{this};
  Property<int> left{this}, top{this}, width{this}, height{this};  // outer edges
  Property<int> client_width{this}, client_height{this};  // the inside, where controls sit
  Property<bool> tool_window{this};  // thin caption, no minimise/maximise
  Property<bool> dialog_border{this};  // a fixed dialog frame, no minimise/maximise
  Property<bool> stays_on_top{this};
  Font font{"Tahoma", 8};  // the controls' typeface, unless a label has its own
  const MenuEntry* main_menu = nullptr;          // the window's own menu bar, if any
  int min_width = 0, min_height = 0;             // the least outer size the operator can drag to
  // How a modal dialog was closed by one of its own buttons while it was
  // shown; None while it is open (see Operator::ShowModal).
  enum class ModalResult { None, Ok, Cancel };
  ModalResult modal_result = ModalResult::None;

  virtual void Show();
  virtual void Hide();
  // Brings the shown window in front of the others.
  void BringToFront();
  // Tells the backend the window changed (its properties do it themselves).
  void Announce() final;

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
// handled (inline when called there). (Not named SendMessage: <windows.h>
// makes that a macro.)
void SendWindowMessage(Window& window, const Message& m);
void SendWindowMessage(Window& window, std::uint32_t msg, std::string_view data);
void SendWindowMessage(Window& window, std::uint32_t msg, std::intptr_t wparam,
                       std::intptr_t lparam);
// Queues a message for the window and returns at once; dropped if the window
// is gone by the time the main thread takes it. Any thread.
void PostWindowMessage(const Window& window, Message m);
void PostWindowMessage(const Window& window, std::uint32_t msg, std::string data);
void PostWindowMessage(const Window& window, std::uint32_t msg, std::intptr_t wparam,
                       std::intptr_t lparam);

// Every live window, in the order of creation. Main thread only.
std::vector<Window*> AllWindows();
Window* FindWindowById(std::uint64_t id);

}  // namespace pw::ui
