#include "renderer/win32/menu_bar.h"

#include "platform/win32/wide_text.h"
#include "renderer/win32/native_window.h"

namespace pw::renderer::win32 {

namespace {

// The name a menu shows beside an entry for its shortcut key.
std::wstring KeyName(int key) {
  switch (key) {
    case VK_ESCAPE: return L"Esc";
    case VK_RETURN: return L"Enter";
    case VK_DELETE: return L"Del";
    case VK_INSERT: return L"Ins";
    default: break;
  }
  if (key >= VK_F1 && key <= VK_F12) return L"F" + std::to_wstring(key - VK_F1 + 1);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::wstring(1, wchar_t(key));
  return {};
}

void AddEntries(HMENU menu, const ui::MenuEntry& parent, std::vector<const ui::MenuEntry*>& commands,
                std::vector<ACCEL>& accelerators) {
  for (const ui::MenuEntry& entry : parent.children) {
    if (entry.caption == "-") {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    std::wstring text = platform::Wide(entry.caption);
    if (!entry.children.empty()) {
      HMENU sub = CreatePopupMenu();
      AddEntries(sub, entry, commands, accelerators);
      AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), text.c_str());
      continue;
    }
    const UINT id = kFirstMenuCommand + static_cast<UINT>(commands.size());
    commands.push_back(&entry);
    if (entry.shortcut != 0) {
      const std::wstring key = KeyName(entry.shortcut);
      if (!key.empty()) text += L"\t" + key;
      accelerators.push_back(ACCEL{FVIRTKEY, static_cast<WORD>(entry.shortcut), static_cast<WORD>(id)});
    }
    AppendMenuW(menu, MF_STRING, id, text.c_str());
  }
}

}  // namespace

MenuBar BuildMenuBar(const ui::MenuEntry& root, std::vector<const ui::MenuEntry*>& commands) {
  MenuBar bar;
  bar.menu = CreateMenu();
  std::vector<ACCEL> accelerators;
  AddEntries(bar.menu, root, commands, accelerators);
  if (!accelerators.empty())
    bar.accelerators = CreateAcceleratorTableW(accelerators.data(), static_cast<int>(accelerators.size()));
  return bar;
}

void DestroyMenuBar(MenuBar bar) {
  if (bar.accelerators != nullptr) DestroyAcceleratorTable(bar.accelerators);
  if (bar.menu != nullptr) DestroyMenu(bar.menu);
}

}  // namespace pw::renderer::win32
