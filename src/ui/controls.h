// Control models shared by the windows: labels, buttons, percentage bars and
// the window timer. Like every control they live on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dispatcher.h"
#include "ui/event_handler.h"
#include "ui/window.h"

namespace pw::ui {

enum class Alignment { Left, Center, Right };

// Colours the window system draws with (0x00BBGGRR values of the system
// colours a box takes).
inline constexpr std::uint32_t kColorWindow = 0x00FFFFFF;
inline constexpr std::uint32_t kColorBtnFace = 0x00C8D0D4;

// A line of fixed text.
class Label : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "Label"; }
  bool bold = false;
  Alignment alignment = Alignment::Left;
  Font font;                               // an empty name: the window's own
  std::optional<std::uint32_t> font_color;  // 0x00BBGGRR; none: the system's
  std::optional<std::uint32_t> color;       // its background; none: the parent's
};

// A push button; `glyph` names the picture drawn beside the caption (empty
// for none).
class Button : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "Button"; }
  std::string glyph;

  // What the operator's click does.
  void Click() {
    if (on_click) on_click();
  }
};

// A connection window's log list: the newest line is selected, and past
// kKeptLines the oldest line goes, so a flood of connections cannot grow the
// window without end (the log file keeps every line).
class LogList : public ListBox {
 public:
  static constexpr std::size_t kKeptLines = 3000;
  using ListBox::ListBox;
  void AddLine(std::string line);
};

// A horizontal percentage bar. The position always lies in [min, max].
class Gauge : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "Gauge"; }

  std::int32_t min() const { return min_; }
  std::int32_t max() const { return max_; }
  std::int32_t position() const { return position_; }

  // A maximum below the minimum is raised to it; the position is clamped
  // into the new range.
  void SetMin(std::int32_t v);
  void SetMax(std::int32_t v);
  void SetPosition(std::int32_t v);

  // trunc(100 x (position - min) / (max - min)); 0 for an empty range.
  int PercentDone() const;

 private:
  void Clamp();
  std::int32_t min_ = 0;
  std::int32_t max_ = 100;
  std::int32_t position_ = 0;
};

// A combo box: the text in its box and its drop-down items. An editable
// one takes any text typed into it; a drop-down list (editable false) shows
// only one of its items.
class ComboBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "ComboBox"; }
  bool editable = true;
  Property<std::vector<std::string>> items{this};
  Property<int> item_index{this, -1};

  // Chooses item i (its text goes into the box); out of range: nothing.
  void Select(int i);
  // What a key released in the box does (the key code), set by the window.
  EventHandler<void(int key)> on_key_up;
  // When an item is chosen, or the focus leaves the box.
  EventHandler<void()> on_select;
  EventHandler<void()> on_exit;
};

// Several lines of text (a memo or a multi-line label).
class Memo : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "Memo"; }
  Property<std::vector<std::string>> lines{this};
  bool read_only = false;          // the operator reads it, types nothing
  bool horizontal_scroll = false;  // long lines scroll sideways, not wrapped
};

// A one-line text box. password_char, when set, is shown in place of each
// character; color is the box's background (0x00BBGGRR).
class Edit : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "Edit"; }
  char password_char = 0;
  Property<std::uint32_t> color{this, kColorWindow};
};

// A number box with up and down arrows. The operator may type any number;
// the range (none when both bounds are 0) is what Clamped brings it into.
class SpinEdit : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "SpinEdit"; }
  Property<double> value{this};
  double min_value = 0;
  double max_value = 0;

  bool HasRange() const { return min_value != 0 || max_value != 0; }
  // The value inside the range, rounded to the nearest whole number (a tie
  // to the even one); kept within 32 bits.
  std::int32_t Clamped() const;
};

// One of a group of choices: clicking it turns it on and the others of the
// same group (in the same window) off, then runs on_click.
class RadioButton : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "RadioButton"; }
  Property<bool> checked{this};
  std::string group;
  void Click();
};

// A slider. The position always lies in [min, max].
class TrackBar : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "TrackBar"; }
  int min = 0;
  int max = 10;
  int frequency = 1;  // a tick every this many steps
  int position() const { return position_; }
  void SetPosition(int v);

 private:
  int position_ = 0;
};

// A frame with a caption around other controls; hiding it hides them.
class GroupBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "GroupBox"; }
};

// One page of a page control. tab_visible: whether its tab is shown at all.
class TabSheet : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "TabSheet"; }
  Property<bool> tab_visible{this, true};
  bool Reachable() const override { return tab_visible && Control::Reachable(); }
};

// A list of rows in columns, each row with an optional check box.
class ListView : public Control {
 public:
  struct Column {
    std::string caption;
    int width = 0;
  };
  struct Row {
    std::vector<std::string> texts;  // the first column, then the others
    bool checked = false;
  };
  using Control::Control;
  const char* kind() const override { return "ListView"; }
  std::vector<Column> columns;
  Property<std::vector<Row>> rows{this};
  // The row the operator selected, -1 for none (as the operator sets it).
  Property<int> item_index{this, -1};
  bool check_boxes = false;
  bool grid_lines = false;
  bool row_select = false;
  bool read_only = false;
  bool column_click = true;   // sorting by a click on a column's header
  bool hide_selection = true; // the selection disappears without focus
};

// A status bar of panels, each with its width and text.
class StatusBar : public Control {
 public:
  struct Panel {
    int width = 0;
    std::string text;
  };
  using Control::Control;
  const char* kind() const override { return "StatusBar"; }
  Property<std::vector<Panel>> panels{this};
};

// A picture as the window system draws it: width x height pixels, rows from
// the top, each 0x00RRGGBB.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  bool empty() const { return width <= 0 || height <= 0; }
};

// A picture control showing one picture (the screenshot viewer's).
class Image : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "Image"; }
  Property<Bitmap> picture{this};
  bool stretch = false;       // drawn at the control's size
  bool proportional = false;  // when stretched, keeping the aspect ratio
};

// An area the window paints on itself. What is drawn stays until drawn over:
// the canvas keeps the pixels of every earlier drawing that the next one does
// not cover. Main thread only.
class PaintBox : public Control {
 public:
  using Control::Control;
  const char* kind() const override { return "PaintBox"; }

  // Draws picture with its top-left corner at (x, y), at its own size,
  // clipped to the control; the canvas takes the control's size first
  // (keeping what it held where the two overlap).
  void Draw(const Bitmap& picture, int x, int y);
  const Bitmap& canvas() const { return canvas_; }
  // How many drawings the canvas has had, so a watcher can tell a new one.
  std::uint64_t paint_count() const { return paint_count_; }

 private:
  void FitCanvas();
  Bitmap canvas_;
  std::uint64_t paint_count_ = 0;
};

// An item of a window's own menu bar, with its submenu.
class MenuEntry {
 public:
  explicit MenuEntry(std::string caption = {}, std::function<void()> on_click = {},
                     int shortcut = 0)
      : caption(std::move(caption)), on_click(std::move(on_click)), shortcut(shortcut) {}
  std::string caption;  // "-" is a separator
  EventHandler<void()> on_click;
  int shortcut = 0;     // key code, 0 for none
  std::vector<MenuEntry> children;

  MenuEntry& Add(MenuEntry child) {
    children.push_back(std::move(child));
    return children.back();
  }
  // Follows captions from this entry down (exact captions); nullptr if none.
  const MenuEntry* Find(const std::vector<std::string>& path) const;
};

// A window's periodic timer: while enabled, on_timer runs on the main thread
// every interval. Destroying the timer stops it, so a callback never reaches
// a freed window. Main thread only.
class Timer {
 public:
  Timer(std::string name, std::chrono::milliseconds interval);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  const std::string& name() const { return name_; }
  std::chrono::milliseconds interval() const { return interval_; }
  bool enabled() const { return id_ != 0; }

  // Enabling an enabled timer or changing the interval starts the period anew.
  void SetEnabled(bool on);
  void SetInterval(std::chrono::milliseconds interval);

  EventHandler<void()> on_timer;

 private:
  std::string name_;
  std::chrono::milliseconds interval_;
  Dispatcher::TimerId id_ = 0;  // 0 while disabled
};

}  // namespace pw::ui
