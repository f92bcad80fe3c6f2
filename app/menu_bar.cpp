#include "app/menu_bar.h"

#include <exception>

#include "app/shortcut.h"
#include "host/host_menu.h"
#include "platform/error.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"

namespace pw::app {

namespace {

MenuBarItem& Self(PwMenuItem* item) { return *static_cast<MenuBarItem*>(item); }

// No exception crosses the interface: its text is the call's error, kept
// until the thread's next call.
template <class Action>
PwError Guarded(const Action& action) {
  try {
    action();
    return nullptr;
  } catch (const std::exception& e) {
    thread_local std::string kept;
    kept = e.what();
    return kept.c_str();
  }
}

PwError PW_CALL GetCaption(PwMenuItem* self, const char** caption) {
  *caption = Self(self).caption.c_str();
  return nullptr;
}
PwError PW_CALL SetCaption(PwMenuItem* self, const char* caption) {
  return Guarded([&] {
    Self(self).caption = caption;
    Self(self).Refresh();
  });
}
PwError PW_CALL SetHint(PwMenuItem* self, const char* hint) {
  Self(self).hint = hint;
  return nullptr;
}
PwError PW_CALL SetHelpContext(PwMenuItem* self, int32_t context) {
  return Guarded([&] {
    Self(self).help_context = context;
    Self(self).Refresh();
  });
}
PwError PW_CALL SetShortCut(PwMenuItem* self, uint16_t shortcut) {
  return Guarded([&] {
    Self(self).shortcut = shortcut;
    Self(self).Refresh();
    Self(self).bar().ShortcutsChanged();
  });
}
PwError PW_CALL SetOnClick(PwMenuItem* self, PwClickHandler handler, void* context) {
  Self(self).on_click = handler;
  Self(self).click_context = context;
  return nullptr;
}
PwError PW_CALL Count(PwMenuItem* self, int32_t* count) {
  *count = static_cast<int32_t>(Self(self).children.size());
  return nullptr;
}
PwError PW_CALL Item(PwMenuItem* self, int32_t index, PwMenuItem** child) {
  auto& children = Self(self).children;
  if (index < 0 || static_cast<std::size_t>(index) >= children.size()) return "menu: index out of range";
  *child = children[static_cast<std::size_t>(index)].get();
  return nullptr;
}
PwError PW_CALL Find(PwMenuItem* self, const char* caption, PwMenuItem** child) {
  *child = Self(self).Find(caption);
  return nullptr;
}

constexpr PwMenuItemVtbl kVtbl = {GetCaption, SetCaption, SetHint, SetHelpContext, SetShortCut,
                                  SetOnClick, Count,      Item,    Find};

}  // namespace

MenuBarItem::MenuBarItem(MenuBar& bar, HMENU menu, int position, UINT id, HMENU submenu)
    : PwMenuItem{&kVtbl}, bar_(bar), menu_(menu), position_(position), id_(id), submenu_(submenu) {}

void MenuBarItem::Refresh() {
  if (menu_ == nullptr) return;  // the bar itself
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_DATA;
  // The help context rides in the item's own data, where a driver reading
  // the menu finds it.
  info.dwItemData = static_cast<ULONG_PTR>(help_context);
  std::wstring text = platform::Wide(caption);
  const std::wstring keys = ShortcutText(shortcut);
  if (!keys.empty()) text += L"\t" + keys;
  // "-" is a separator, as in the menus the plug-in was made for.
  if (caption == "-") {
    info.fType = MFT_SEPARATOR;
  } else {
    info.fMask |= MIIM_STRING;
    info.fType = MFT_STRING;
    info.dwTypeData = text.data();
  }
  if (!::SetMenuItemInfoW(menu_, static_cast<UINT>(position_), TRUE, &info))
    platform::ThrowLastError("SetMenuItemInfoW", caption);
  bar_.Redraw();
}

HMENU MenuBarItem::Submenu() {
  if (submenu_ != nullptr) return submenu_;
  HMENU popup = ::CreatePopupMenu();
  if (popup == nullptr) platform::ThrowLastError("CreatePopupMenu", caption);
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_SUBMENU;
  info.hSubMenu = popup;
  if (!::SetMenuItemInfoW(menu_, static_cast<UINT>(position_), TRUE, &info)) {
    const DWORD err = ::GetLastError();
    ::DestroyMenu(popup);
    platform::ThrowWin32Error("SetMenuItemInfoW", caption, err);
  }
  return submenu_ = popup;
}

MenuBarItem* MenuBarItem::Find(const std::string& wanted) const {
  const std::string key = host::CaptionKey(wanted, /*trim=*/false);
  for (const auto& child : children)
    if (host::CaptionKey(child->caption, false) == key) return child.get();
  return nullptr;
}

MenuBar::MenuBar(HWND window) : window_(window) {
  HMENU bar = ::CreateMenu();
  if (bar == nullptr) platform::ThrowLastError("CreateMenu", "menu bar");
  root_ = std::make_unique<MenuBarItem>(*this, nullptr, 0, 0, bar);
  if (!::SetMenu(window, bar)) {
    const DWORD err = ::GetLastError();
    ::DestroyMenu(bar);
    platform::ThrowWin32Error("SetMenu", "menu bar", err);
  }
}

MenuBar::~MenuBar() {
  if (accelerators_ != nullptr) ::DestroyAcceleratorTable(accelerators_);
}

MenuBarItem& MenuBar::Append(MenuBarItem& parent) {
  HMENU menu = parent.Submenu();
  const UINT id = next_id_++;
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_DATA;
  info.fType = MFT_STRING;
  info.wID = id;
  wchar_t empty[] = L"";
  info.dwTypeData = empty;
  const int position = static_cast<int>(parent.children.size());
  if (!::InsertMenuItemW(menu, static_cast<UINT>(position), TRUE, &info))
    platform::ThrowLastError("InsertMenuItemW", parent.caption);
  parent.children.push_back(std::make_unique<MenuBarItem>(*this, menu, position, id));
  by_id_[id] = parent.children.back().get();
  Redraw();
  return *parent.children.back();
}

bool MenuBar::Click(UINT id) const {
  const auto it = by_id_.find(id);
  if (it == by_id_.end()) return false;
  if (it->second->on_click != nullptr) it->second->on_click(it->second->click_context);
  return true;
}

void MenuBar::ShortcutsChanged() {
  std::vector<ACCEL> keys;
  for (const auto& [id, item] : by_id_) {
    if (item->shortcut == 0) continue;
    const AcceleratorKey key = ShortcutKey(item->shortcut);
    keys.push_back(ACCEL{key.flags, key.key, static_cast<WORD>(id)});
  }
  if (accelerators_ != nullptr) ::DestroyAcceleratorTable(accelerators_);
  accelerators_ = keys.empty() ? nullptr : ::CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

}  // namespace pw::app
