// A menu item's keyboard shortcut as the plug-in gives it: the virtual key
// in the low byte, Shift 0x2000, Ctrl 0x4000, Alt 0x8000.
#pragma once

#include <cstdint>
#include <string>

namespace pw::app {

// What the menu shows after the caption ("Ctrl+S", "Esc"); "" for 0.
std::wstring ShortcutText(std::uint16_t shortcut);

// The accelerator flags (FVIRTKEY and the modifiers) and the key.
struct AcceleratorKey {
  unsigned char flags;
  unsigned short key;
};
AcceleratorKey ShortcutKey(std::uint16_t shortcut);

}  // namespace pw::app
