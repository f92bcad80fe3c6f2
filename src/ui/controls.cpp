#include "ui/controls.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pw::ui {

void LogList::AddLine(std::string line) {
  if (items.size() >= kKeptLines)
    items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(items.size() - kKeptLines + 1));
  AddAndSelect(std::move(line));
}

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
  Announce();
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
  Announce();
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

void PaintBox::FitCanvas() {
  const int w = std::max<int>(width, 0);
  const int h = std::max<int>(height, 0);
  if (canvas_.width == w && canvas_.height == h) return;
  Bitmap fitted;
  fitted.width = w;
  fitted.height = h;
  fitted.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  const int common_w = std::min(w, canvas_.width);
  const int common_h = std::min(h, canvas_.height);
  for (int y = 0; y < common_h; ++y)
    std::copy_n(canvas_.pixels.begin() + static_cast<std::ptrdiff_t>(y) * canvas_.width, common_w,
                fitted.pixels.begin() + static_cast<std::ptrdiff_t>(y) * w);
  canvas_ = std::move(fitted);
}

void PaintBox::Draw(const Bitmap& picture, int x, int y) {
  AssertOnMainThread("PaintBox::Draw");
  FitCanvas();
  const int from_x = std::max(0, -x);
  const int to_x = std::min(picture.width, canvas_.width - x);
  const int from_y = std::max(0, -y);
  const int to_y = std::min(picture.height, canvas_.height - y);
  if (!picture.empty() && picture.pixels.size() >= static_cast<std::size_t>(picture.width) *
                                                       static_cast<std::size_t>(picture.height)) {
    for (int row = from_y; row < to_y && from_x < to_x; ++row)
      std::copy_n(picture.pixels.begin() + static_cast<std::ptrdiff_t>(row) * picture.width + from_x,
                  to_x - from_x,
                  canvas_.pixels.begin() + static_cast<std::ptrdiff_t>(row + y) * canvas_.width +
                      (x + from_x));
  }
  ++paint_count_;
  Announce();
}

}  // namespace pw::ui
