// What pumpwire-host prints of the plug-in's windows: every window model and
// its controls as lines of UTF-8 text.
#pragma once

#include <string>
#include <vector>

namespace pw::ui {
class Window;
class MenuEntry;
}  // namespace pw::ui

namespace pw::host {

// A Windows-1251 text as one printed UTF-8 line: line breaks inside it show
// as \r and \n.
std::string Printable(const std::string& cp1251);

// The window line, then one line per control (and one per line of a list).
std::vector<std::string> DescribeWindow(const ui::Window& window);

// "window: CLASS "caption" visible|hidden".
std::string WindowSummary(const ui::Window& window);

// The first entry of the menu bar, at any depth, whose caption (Windows-1251)
// is one of captions; nullptr if none.
const ui::MenuEntry* FindMenuEntry(const ui::MenuEntry& root, const std::vector<std::string>& captions);

}  // namespace pw::host
