#include "host/window_printer.h"

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

void Lines(std::vector<std::string>& out, const std::vector<std::string>& lines) {
  for (const auto& line : lines) out.push_back("    | " + Printable(line));
}

void DescribeControl(std::vector<std::string>& out, const ui::Control& c) {
  const std::string_view kind = c.kind();
  std::string head = "  " + c.name() + " (" + std::string(kind) + ")";
  if (!c.visible) head += " hidden";
  if (!c.enabled) head += " disabled";
  if (kind == "ComboBox") {
    const auto& box = static_cast<const ui::ComboBox&>(c);
    out.push_back(head + ": " + Quoted(box.caption) + " items " + Joined(box.items));
  } else if (kind == "ListBox") {
    const auto& list = static_cast<const ui::ListBox&>(c);
    out.push_back(head + ": " + std::to_string(list.items.size()) + " lines");
    Lines(out, list.items);
  } else if (kind == "Memo") {
    const auto& memo = static_cast<const ui::Memo&>(c);
    out.push_back(head + ": " + std::to_string(memo.lines.size()) + " lines");
    Lines(out, memo.lines);
  } else if (kind == "StatusBar") {
    std::vector<std::string> texts;
    for (const auto& panel : static_cast<const ui::StatusBar&>(c).panels) texts.push_back(panel.text);
    out.push_back(head + ": " + Joined(texts));
  } else if (kind == "CheckBox") {
    out.push_back(head + ": " + Quoted(c.caption) +
                  (static_cast<const ui::CheckBox&>(c).checked ? " checked" : " unchecked"));
  } else {
    out.push_back(head + ": " + Quoted(c.caption));
  }
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
