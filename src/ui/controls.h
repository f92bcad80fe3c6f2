// Control models shared by the windows: labels, buttons, percentage bars and
// the window timer. Like every control they live on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/dispatcher.h"
#include "ui/window.h"

namespace pw::ui {

enum class Alignment { Left, Center, Right };

// A typeface and its size in points.
struct Font {
  std::string name;
  int size_pt = 8;
};

// A line of fixed text.
class Label : public Control {
 public:
  using Control::Control;
  bool bold = false;
  Alignment alignment = Alignment::Left;
};

// A push button; `glyph` names the picture drawn beside the caption (empty
// for none).
class Button : public Control {
 public:
  using Control::Control;
  std::string glyph;

  // What the operator's click does.
  void Click() {
    if (on_click) on_click();
  }
};

// A horizontal percentage bar. The position always lies in [min, max].
class Gauge : public Control {
 public:
  using Control::Control;

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

  std::function<void()> on_timer;

 private:
  std::string name_;
  std::chrono::milliseconds interval_;
  Dispatcher::TimerId id_ = 0;  // 0 while disabled
};

}  // namespace pw::ui
