#include "ui/controls.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pw::ui {

void Gauge::SetMin(std::int32_t v) {
  min_ = v;
  Clamp();
}

void Gauge::SetMax(std::int32_t v) {
  max_ = v;
  Clamp();
}

void Gauge::SetPosition(std::int32_t v) {
  position_ = v;
  Clamp();
}

void Gauge::Clamp() {
  AssertOnMainThread("Gauge");
  max_ = std::max(max_, min_);
  position_ = std::clamp(position_, min_, max_);
}

int Gauge::PercentDone() const {
  const std::int64_t range = std::int64_t{max_} - min_;
  if (range == 0) return 0;
  return static_cast<int>(100 * (std::int64_t{position_} - min_) / range);
}

Timer::Timer(std::string name, std::chrono::milliseconds interval)
    : name_(std::move(name)), interval_(interval) {}

Timer::~Timer() { SetEnabled(false); }

void Timer::SetEnabled(bool on) {
  AssertOnMainThread("Timer::SetEnabled");
  if (id_ != 0) {
    Dispatcher::instance().kill_timer(id_);
    id_ = 0;
  }
  if (on)
    id_ = Dispatcher::instance().set_timer(interval_, [this] {
      if (on_timer) on_timer();
    });
}

void Timer::SetInterval(std::chrono::milliseconds interval) {
  interval_ = interval;
  if (enabled()) SetEnabled(true);
}

void ComboBox::Select(int i) {
  AssertOnMainThread("ComboBox::Select");
  if (i < 0 || static_cast<std::size_t>(i) >= items.size()) return;
  item_index = i;
  caption = items[static_cast<std::size_t>(i)];
}

std::int32_t SpinEdit::Clamped() const {
  double v = std::isnan(value) ? 0.0 : value;
  if (HasRange()) v = std::clamp(v, min_value, std::max(min_value, max_value));
  v = std::nearbyint(v);  // the default rounding: to nearest, a tie to even
  constexpr double kLow = std::numeric_limits<std::int32_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(v, kLow, kHigh));
}

void RadioButton::Click() {
  AssertOnMainThread("RadioButton::Click");
  for (Control* c : owner().controls())
    if (auto* other = dynamic_cast<RadioButton*>(c); other != nullptr && other->group == group)
      other->checked = false;
  checked = true;
  if (on_click) on_click();
}

void TrackBar::SetPosition(int v) {
  AssertOnMainThread("TrackBar::SetPosition");
  position_ = std::clamp(v, min, std::max(min, max));
}

const MenuEntry* MenuEntry::Find(const std::vector<std::string>& path) const {
  const MenuEntry* entry = this;
  for (const auto& caption : path) {
    const MenuEntry* next = nullptr;
    for (const auto& child : entry->children)
      if (child.caption == caption) {
        next = &child;
        break;
      }
    if (next == nullptr) return nullptr;
    entry = next;
  }
  return entry;
}

}  // namespace pw::ui
