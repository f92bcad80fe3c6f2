#include "app/plugin_api.h"

#include "app/menu_walk.h"

#include "app/utf8.h"
#include "host/host_menu.h"
#include "platform/win32/wide_text.h"
#include "text/cp1251.h"

namespace pw::app {

namespace {

struct ItemView {
  bool separator = false;
  bool disabled = false;
  std::wstring caption;  // before the TAB
  std::wstring shortcut;  // after it
  int help_context = 0;
  HMENU submenu = nullptr;
  UINT id = 0;
};

ItemView ViewOf(HMENU menu, int position) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_ID | MIIM_DATA | MIIM_STRING;
  ::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
  ItemView view;
  view.separator = (info.fType & MFT_SEPARATOR) != 0;
  view.disabled = (info.fState & MFS_DISABLED) != 0;
  view.help_context = static_cast<int>(info.dwItemData);
  view.submenu = info.hSubMenu;
  view.id = info.wID;
  if (!view.separator && info.cch > 0) {
    std::wstring text(info.cch + 1, L'\0');
    info.fMask = MIIM_STRING;
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    ::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
    text.resize(info.cch);
    const auto tab = text.find(L'\t');
    view.caption = text.substr(0, tab);
    if (tab != std::wstring::npos) view.shortcut = text.substr(tab + 1);
  }
  return view;
}

void AddLines(HMENU menu, int depth, std::vector<std::string>& lines) {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const ItemView item = ViewOf(menu, i);
    std::string line = std::string(depth * 2, ' ') + (item.separator ? "-" : Utf8FromWide(item.caption)) +
                       "  [" + std::to_string(item.help_context) + "]";
    if (!item.shortcut.empty()) line += "  key: " + Utf8FromWide(item.shortcut);
    if (item.disabled) line += "  (disabled)";
    lines.push_back(line);
    if (item.submenu != nullptr) AddLines(item.submenu, depth + 1, lines);
  }
}

std::string Key(const std::wstring& caption) { return host::CaptionKey(platform::Narrow(caption), true); }

}  // namespace

std::vector<std::string> MenuLines(HMENU bar) {
  std::vector<std::string> lines;
  if (bar != nullptr) AddLines(bar, 0, lines);
  return lines;
}

UINT FindMenuCommand(HMENU bar, const std::string& path, std::string& problem) {
  HMENU menu = bar;
  std::size_t start = 0;
  for (;;) {
    const auto end = path.find('>', start);
    const std::string part = path.substr(start, end == std::string::npos ? end : end - start);
    const std::string wanted = host::CaptionKey(text::cp1251_from_utf8(part), true);
    const int count = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
    ItemView found;
    bool any = false;
    for (int i = 0; i < count && !any; ++i) {
      const ItemView item = ViewOf(menu, i);
      if (!item.separator && Key(item.caption) == wanted) {
        found = item;
        any = true;
      }
    }
    if (!any) {
      problem = "no menu item '" + path + "'";
      return 0;
    }
    if (end == std::string::npos) {
      if (found.submenu != nullptr) problem = "'" + path + "' opens a submenu";
      else if (found.disabled) problem = "'" + path + "' is disabled";
      else return found.id;
      return 0;
    }
    menu = found.submenu;
    start = end + 1;
  }
}

}  // namespace pw::app
