#include "app/shortcut.h"

#include <windows.h>

namespace pw::app {

namespace {

constexpr std::uint16_t kShift = 0x2000, kCtrl = 0x4000, kAlt = 0x8000;

std::wstring KeyName(unsigned key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::wstring(1, static_cast<wchar_t>(key));
  if (key >= VK_F1 && key <= VK_F24) return L"F" + std::to_wstring(key - VK_F1 + 1);
  switch (key) {
    case VK_ESCAPE: return L"Esc";
    case VK_RETURN: return L"Enter";
    case VK_INSERT: return L"Ins";
    case VK_DELETE: return L"Del";
    case VK_BACK: return L"BkSp";
    case VK_TAB: return L"Tab";
    case VK_SPACE: return L"Space";
    case VK_PRIOR: return L"PgUp";
    case VK_NEXT: return L"PgDn";
    case VK_HOME: return L"Home";
    case VK_END: return L"End";
    case VK_LEFT: return L"Left";
    case VK_UP: return L"Up";
    case VK_RIGHT: return L"Right";
    case VK_DOWN: return L"Down";
  }
  wchar_t name[64] = {};
  const LONG scan = static_cast<LONG>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  return ::GetKeyNameTextW(scan, name, 64) > 0 ? std::wstring(name) : L"#" + std::to_wstring(key);
}

}  // namespace

std::wstring ShortcutText(std::uint16_t shortcut) {
  if (shortcut == 0) return {};
  std::wstring text;
  if (shortcut & kShift) text += L"Shift+";
  if (shortcut & kCtrl) text += L"Ctrl+";
  if (shortcut & kAlt) text += L"Alt+";
  return text + KeyName(shortcut & 0xFF);
}

AcceleratorKey ShortcutKey(std::uint16_t shortcut) {
  unsigned char flags = FVIRTKEY;
  if (shortcut & kShift) flags |= FSHIFT;
  if (shortcut & kCtrl) flags |= FCONTROL;
  if (shortcut & kAlt) flags |= FALT;
  return {flags, static_cast<unsigned short>(shortcut & 0xFF)};
}

}  // namespace pw::app
