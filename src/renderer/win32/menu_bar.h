// A window's own menu bar from its MenuEntry tree: a native menu whose
// commands index the entries, and the accelerators of their shortcut keys.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/controls.h"

namespace pw::renderer::win32 {

struct MenuBar {
  HMENU menu = nullptr;
  HACCEL accelerators = nullptr;  // none when no entry has a shortcut
};

// Entry i of commands answers command kFirstMenuCommand + i.
MenuBar BuildMenuBar(const ui::MenuEntry& root, std::vector<const ui::MenuEntry*>& commands);
void DestroyMenuBar(MenuBar bar);

}  // namespace pw::renderer::win32
