#include "app/window_description.h"

#include "app/utf8.h"
#include "app/window_lookup.h"

namespace pw::app {

namespace {

std::string Size(const RECT& r) { return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top); }

std::string Quoted(const std::string& utf8) { return "\"" + OneLine(utf8) + "\""; }

// Only buttons that are check boxes or radio buttons have a check state.
std::string CheckState(HWND control) {
  if (ClassOf(control) != L"Button") return "-";
  switch (::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON: break;
    default: return "-";
  }
  DWORD_PTR state = 0;
  if (!::SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &state)) return "-";
  return state == BST_CHECKED ? "checked" : state == BST_INDETERMINATE ? "indeterminate" : "unchecked";
}

}  // namespace

std::string DescribeWindow(HWND window, HWND app_window) {
  RECT client{};
  ::GetClientRect(window, &client);
  const bool owned = app_window != nullptr && ::GetWindow(window, GW_OWNER) == app_window;
  return "window: " + Utf8FromWide(ClassOf(window)) + " " + Quoted(TextOf(window)) + " " + Size(client) +
         " owned-by-app: " + (owned ? "yes" : "no");
}

std::string DescribeControl(HWND control, HWND top_level) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, top_level, reinterpret_cast<POINT*>(&r), 2);
  const std::string name = ControlName(control);
  return "control: " + (name.empty() ? std::string("-") : name) + " " + Utf8FromWide(ClassOf(control)) + " " +
         Quoted(TextOf(control)) + (::IsWindowEnabled(control) ? " enabled" : " disabled") +
         (::IsWindowVisible(control) ? " visible " : " hidden ") + CheckState(control) + " " +
         std::to_string(r.left) + "," + std::to_string(r.top) + " " + Size(r);
}

}  // namespace pw::app
