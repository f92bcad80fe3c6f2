#include "host/dialog_driver.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

#include "host/window_printer.h"
#include "text/cp1251.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw::host {

namespace {

// A plain decimal number as an operator types it: no blanks, no
// hexadecimal, nothing infinite, nothing past what any box holds.
bool ParseNumber(const std::string& text, double& out) {
  if (text.empty() || text.find_first_not_of("+-.0123456789") != std::string::npos) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(out) && std::fabs(out) <= 2147483647.0;
}

}  // namespace

std::string DialogDriver::Queue(const std::string& command) {
  Action a;
  const auto space = command.find(' ');
  a.verb = command.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : command.substr(space + 1);
  if (a.verb == "print") {
    actions_.push_back(a);
    return "";
  }
  if (a.verb != "set" && a.verb != "click" && a.verb != "press")
    return "dialog takes set, click, press or print, not '" + a.verb + "'";
  const auto name_end = rest.find(' ');
  a.name = rest.substr(0, name_end);
  if (a.name.empty()) return "dialog " + a.verb + " needs a control's name";
  if (a.verb == "set") {
    if (name_end == std::string::npos) return "dialog set takes NAME VALUE";
    a.value = rest.substr(name_end + 1);
  }
  actions_.push_back(a);
  return "";
}

void DialogDriver::Drive(ui::Window& window, const Output& line, const Output& error) {
  while (!actions_.empty() && window.modal_result == ui::Window::ModalResult::None) {
    const Action action = actions_.front();
    actions_.pop_front();
    const std::string problem = Do(window, action, line);
    if (problem.empty()) continue;
    // What the operator meant cannot be done: nothing half-set is applied.
    error(problem + "; the dialog is cancelled");
    window.modal_result = ui::Window::ModalResult::Cancel;
    actions_.clear();
  }
}

std::string DialogDriver::Do(ui::Window& window, const Action& a, const Output& line) {
  if (a.verb == "print") {
    for (const std::string& l : DescribeWindow(window)) line("dialog: " + l);
    return "";
  }
  ui::Control* c = window.FindControl(a.name);
  if (c == nullptr) return "the dialog has no control '" + a.name + "'";
  // What the operator cannot reach on screen, the command cannot either.
  if (!c->Reachable()) return "'" + a.name + "' is disabled or hidden";
  const std::string_view kind = c->kind();
  auto* spin = dynamic_cast<ui::SpinEdit*>(c);
  auto* bar = dynamic_cast<ui::TrackBar*>(c);
  auto* check = dynamic_cast<ui::CheckBox*>(c);
  auto* radio = dynamic_cast<ui::RadioButton*>(c);
  auto* button = dynamic_cast<ui::Button*>(c);
  if (a.verb == "set") {
    const std::string value = text::cp1251_from_utf8(a.value);
    double number = 0;
    if (spin != nullptr || bar != nullptr) {
      if (!ParseNumber(a.value, number)) return "'" + a.value + "' is not a number";
      line("dialog: set " + a.name + " " + a.value);
      if (spin != nullptr) spin->value = number;
      else bar->SetPosition(static_cast<int>(number));
    } else if (auto* combo = dynamic_cast<ui::ComboBox*>(c)) {
      // The dialogs' boxes are drop-down lists: only an item can be chosen.
      auto& box = *combo;
      for (std::size_t i = 0; i < box.items.size(); ++i)
        if (box.items[i] == value) {
          line("dialog: set " + a.name + " " + a.value);
          box.Select(static_cast<int>(i));
          if (box.on_select) box.on_select();
          return "";
        }
      return "'" + a.name + "' has no item '" + a.value + "'";
    } else if (dynamic_cast<ui::Edit*>(c) != nullptr || dynamic_cast<ui::Memo*>(c) != nullptr) {
      line("dialog: set " + a.name + " " + a.value);
      c->caption = value;
    } else {
      return "'" + a.name + "' (" + std::string(kind) + ") takes no value";
    }
    return "";
  }
  const bool clickable =
      (a.verb == "click" && (check != nullptr || radio != nullptr)) || button != nullptr;
  if (clickable) line("dialog: " + a.verb + " " + a.name);
  if (a.verb == "click" && check != nullptr) {
    check->checked = !check->checked;
    if (check->on_click) check->on_click();
    return "";
  }
  if (a.verb == "click" && radio != nullptr) {
    radio->Click();
    return "";
  }
  if (button != nullptr) {
    button->Click();
    return "";
  }
  return "'" + a.name + "' (" + std::string(kind) + ") cannot be " +
         (a.verb == "press" ? "pressed" : "clicked");
}

}  // namespace pw::host
