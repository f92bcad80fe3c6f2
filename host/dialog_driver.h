// The operator's hands on a modal dialog: what the command stream asks to
// do to the next modal window (type a value, click a check box or radio
// button, press a button, print the controls) is queued, and done in order
// while that window is shown. A press of one of its closing buttons closes
// it; the actions after it wait for the next modal window. Main thread only
// (the host's commands and the modal windows both run there).
#pragma once

#include <deque>
#include <functional>
#include <string>

namespace pw::ui {
class Window;
}

namespace pw::host {

class DialogDriver {
 public:
  using Output = std::function<void(const std::string& utf8)>;

  // "set NAME VALUE", "click NAME", "press NAME" or "print" (UTF-8). Returns
  // what is wrong with it, "" when it is queued.
  std::string Queue(const std::string& command);
  void Clear() { actions_.clear(); }
  std::size_t Pending() const { return actions_.size(); }

  // Does the queued actions to window, telling each on line ("dialog: ..."),
  // and any that cannot be done on error.
  void Drive(ui::Window& window, const Output& line, const Output& error);

 private:
  struct Action {
    std::string verb;
    std::string name;
    std::string value;  // UTF-8
  };
  std::string Do(ui::Window& window, const Action& action, const Output& line);

  std::deque<Action> actions_;
};

}  // namespace pw::host
