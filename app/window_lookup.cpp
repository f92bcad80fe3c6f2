#include "app/window_lookup.h"

#include "app/utf8.h"

namespace pw::app {

namespace {

constexpr UINT kAskBoundMs = 5000;

BOOL CALLBACK CollectOwn(HWND window, LPARAM list) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == ::GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// Top-level windows of this process, topmost first, shown or hidden.
std::vector<HWND> OwnTopLevelWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(CollectOwn, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

BOOL CALLBACK NoteControlName(HWND, LPWSTR name, HANDLE, ULONG_PTR found) {
  // Properties named by an atom alone have no text to look at.
  if (IS_INTRESOURCE(name)) return TRUE;
  const std::wstring_view text(name);
  if (text.substr(0, 3) != L"pw:") return TRUE;
  *reinterpret_cast<std::string*>(found) = Utf8FromWide(text.substr(3));
  return FALSE;
}

}  // namespace

std::vector<HWND> VisibleTopLevelWindows() {
  std::vector<HWND> windows = OwnTopLevelWindows();
  std::erase_if(windows, [](HWND window) { return !::IsWindowVisible(window); });
  return windows;
}

HWND FindVisibleWindow(const std::wstring& window_class) {
  for (HWND window : VisibleTopLevelWindows())
    if (ClassOf(window) == window_class) return window;
  return nullptr;
}

HWND FindOwnWindow(const std::wstring& window_class) {
  for (HWND window : OwnTopLevelWindows())
    if (ClassOf(window) == window_class) return window;
  return nullptr;
}

std::vector<HWND> Descendants(HWND window) {
  std::vector<HWND> children;
  ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

HWND FindNamedControl(HWND window, const std::string& name) {
  const std::wstring property = L"pw:" + WideFromUtf8(name);
  for (HWND child : Descendants(window))
    if (::GetPropW(child, property.c_str()) != nullptr) return child;
  return nullptr;
}

HWND FindNamedControl(const std::string& name) {
  // A window that a modal one has disabled may hold a control of the same
  // name (the office window's BitBtn2 under the settings dialog's): the
  // operator reaches the one in the window that takes input.
  HWND found = nullptr;
  for (HWND window : VisibleTopLevelWindows())
    if (HWND control = FindNamedControl(window, name)) {
      if (::IsWindowEnabled(window)) return control;
      if (found == nullptr) found = control;
    }
  return found;
}

std::string ControlName(HWND control) {
  std::string name;
  ::EnumPropsExW(control, NoteControlName, reinterpret_cast<LPARAM>(&name));
  return name;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int n = ::GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAskBoundMs, &length)) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_NORMAL, kAskBoundMs, &copied))
    return {};
  text.resize(static_cast<std::size_t>(copied));
  return Utf8FromWide(text);
}

}  // namespace pw::app
