// The application window's real menu bar as a driver reads it (any thread:
// menus are not bound to the thread that made them).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pw::app {

// The tree, two blanks per level: "CAPTION  [HELP]" (the help context the
// item carries in its data; a separator's caption is "-"), then
// "  key: SHORTCUT" when the item has one and "  (disabled)" when it is.
std::vector<std::string> MenuLines(HMENU bar);

// The command of the item at path (UTF-8 captions joined by ">", matched
// ignoring "&", letter case and surrounding blanks); 0, with the reason in
// problem, when there is none, it opens a submenu or it is disabled.
UINT FindMenuCommand(HMENU bar, const std::string& path, std::string& problem);

}  // namespace pw::app
