// The menu item interface of plugin.h over the application window's real
// menu bar: every item the plug-in makes is an item of a real HMENU, and
// what it sets shows there at once. Items are only ever appended, so an
// item's position in its menu is its place among its parent's children.
// Main thread only, as the plug-in's menu calls are.
#pragma once

#include "app/plugin_api.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pw::app {

class MenuBar;

class MenuBarItem : public PwMenuItem {
 public:
  // The root stands for the bar itself (menu nullptr, submenu the bar).
  MenuBarItem(MenuBar& bar, HMENU menu, int position, UINT id, HMENU submenu = nullptr);
  MenuBarItem(const MenuBarItem&) = delete;
  MenuBarItem& operator=(const MenuBarItem&) = delete;

  std::string caption;  // Windows-1251; "-" shows as a separator
  std::string hint;
  int help_context = 0;
  std::uint16_t shortcut = 0;
  PwClickHandler on_click = nullptr;
  void* click_context = nullptr;
  std::vector<std::unique_ptr<MenuBarItem>> children;

  UINT id() const { return id_; }
  MenuBar& bar() const { return bar_; }
  // Shows caption, shortcut and help context as they are now.
  void Refresh();
  // The popup menu that holds the children, made on the first child.
  HMENU Submenu();
  // The first child whose caption matches, ignoring "&" and letter case.
  MenuBarItem* Find(const std::string& wanted) const;

 private:
  MenuBar& bar_;
  HMENU menu_;  // the menu this item is in
  int position_;
  UINT id_;
  HMENU submenu_;
};

class MenuBar {
 public:
  // Gives window a menu bar of its own.
  explicit MenuBar(HWND window);
  ~MenuBar();
  MenuBar(const MenuBar&) = delete;
  MenuBar& operator=(const MenuBar&) = delete;

  MenuBarItem& root() { return *root_; }
  // A new item with an empty caption at the end of parent's menu.
  // Raises pw::Error when the menu cannot take it.
  MenuBarItem& Append(MenuBarItem& parent);
  // WM_COMMAND of a menu item or its shortcut: runs the item's click
  // handler; false when id is none of this bar's.
  bool Click(UINT id) const;
  // The shortcuts of all items, for TranslateAcceleratorW; nullptr when
  // none has one.
  HACCEL accelerators() const { return accelerators_; }
  // An item's shortcut changed: the accelerators are made again.
  void ShortcutsChanged();
  // A caption or the items changed: the bar is drawn again.
  void Redraw() const { ::DrawMenuBar(window_); }

 private:
  HWND window_;
  std::unique_ptr<MenuBarItem> root_;
  std::map<UINT, MenuBarItem*> by_id_;
  UINT next_id_ = 1000;
  HACCEL accelerators_ = nullptr;
};

}  // namespace pw::app
