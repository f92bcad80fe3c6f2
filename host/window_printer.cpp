#include "host/window_printer.h"

#include <cmath>
#include <string_view>

#include "text/cp1251.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw::host {

namespace {

using text::utf8_from_cp1251;

}  // namespace

std::string Printable(const std::string& cp1251) {
  std::string out;
  for (char c : utf8_from_cp1251(cp1251)) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

namespace {

std::string Quoted(const std::string& cp1251) { return "\"" + Printable(cp1251) + "\""; }

std::string Joined(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? " | " : "") + Printable(items[i]);
  return out + "]";
}

// A number as the box shows it: whole numbers without a fraction.
std::string Number(double v) {
  if (std::fabs(v) < 1e15 && v == std::trunc(v)) return std::to_string(static_cast<long long>(v));
  return std::to_string(v);
}

void Lines(std::vector<std::string>& out, const std::vector<std::string>& lines) {
  for (const auto& line : lines) out.push_back("    | " + Printable(line));
}

template <class T>
bool Is(const ui::Control& c) {
  return dynamic_cast<const T*>(&c) != nullptr;
}

void DescribeControl(std::vector<std::string>& out, const ui::Control& c) {
  std::string head = "  " + c.name() + " (" + std::string(c.kind()) + ")";
  if (!c.visible) head += " hidden";
  if (!c.enabled) head += " disabled";
  if (Is<ui::ComboBox>(c)) {
    const auto& box = static_cast<const ui::ComboBox&>(c);
    out.push_back(head + ": " + Quoted(box.caption) + " items " + Joined(box.items));
  } else if (Is<ui::ListBox>(c)) {
    const auto& list = static_cast<const ui::ListBox&>(c);
    out.push_back(head + ": " + std::to_string(list.items.size()) + " lines");
    Lines(out, list.items);
  } else if (Is<ui::Memo>(c)) {
    const auto& memo = static_cast<const ui::Memo&>(c);
    out.push_back(head + ": " + std::to_string(memo.lines.size()) + " lines");
    Lines(out, memo.lines);
  } else if (Is<ui::StatusBar>(c)) {
    std::vector<std::string> texts;
    for (const auto& panel : static_cast<const ui::StatusBar&>(c).panels) texts.push_back(panel.text);
    out.push_back(head + ": " + Joined(texts));
  } else if (Is<ui::CheckBox>(c)) {
    out.push_back(head + ": " + Quoted(c.caption) +
                  (static_cast<const ui::CheckBox&>(c).checked ? " checked" : " unchecked"));
  } else if (Is<ui::RadioButton>(c)) {
    out.push_back(head + ": " + Quoted(c.caption) +
                  (static_cast<const ui::RadioButton&>(c).checked ? " checked" : " unchecked"));
  } else if (Is<ui::SpinEdit>(c)) {
    const auto& spin = static_cast<const ui::SpinEdit&>(c);
    std::string line = head + ": " + Number(spin.value);
    if (spin.HasRange()) line += " range " + Number(spin.min_value) + ".." + Number(spin.max_value);
    out.push_back(line);
  } else if (Is<ui::Edit>(c)) {
    const auto& edit = static_cast<const ui::Edit&>(c);
    out.push_back(head + ": " + Quoted(c.caption) +
                  (edit.password_char != 0 ? " shown as " + std::string(1, edit.password_char) : ""));
  } else if (Is<ui::TrackBar>(c)) {
    const auto& bar = static_cast<const ui::TrackBar&>(c);
    out.push_back(head + ": " + std::to_string(bar.position()) + " range " + std::to_string(bar.min) +
                  ".." + std::to_string(bar.max));
  } else if (Is<ui::TabSheet>(c)) {
    out.push_back(head + (static_cast<const ui::TabSheet&>(c).tab_visible ? "" : " tab-hidden") +
                  ": " + Quoted(c.caption));
  } else if (Is<ui::ListView>(c)) {
    const auto& view = static_cast<const ui::ListView&>(c);
    std::vector<std::string> columns;
    for (const auto& column : view.columns) columns.push_back(column.caption);
    out.push_back(head + ": columns " + Joined(columns) + ", " + std::to_string(view.rows.size()) +
                  " rows");
    for (const auto& row : view.rows)
      out.push_back(std::string("    | ") + (row.checked ? "[x] " : "[ ] ") + Joined(row.texts));
  } else {
    out.push_back(head + ": " + Quoted(c.caption));
  }
  if (!c.hint.empty()) out.back() += " hint " + Quoted(c.hint);
}

}  // namespace

std::string WindowSummary(const ui::Window& w) {
  return "window: " + w.class_name() + " " + Quoted(w.caption) + (w.visible ? " visible" : " hidden");
}

std::vector<std::string> DescribeWindow(const ui::Window& w) {
  std::vector<std::string> out;
  out.push_back(WindowSummary(w) + " at " + std::to_string(w.left) + "," + std::to_string(w.top) +
                " size " + std::to_string(w.width) + "x" + std::to_string(w.height) + " client " +
                std::to_string(w.client_width) + "x" + std::to_string(w.client_height));
  for (const ui::Control* c : w.controls()) DescribeControl(out, *c);
  return out;
}

const ui::MenuEntry* FindMenuEntry(const ui::MenuEntry& root, const std::vector<std::string>& captions) {
  for (const auto& child : root.children) {
    for (const auto& caption : captions)
      if (child.caption == caption) return &child;
    if (const ui::MenuEntry* found = FindMenuEntry(child, captions)) return found;
  }
  return nullptr;
}

}  // namespace pw::host
