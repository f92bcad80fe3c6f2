// What the Windows renderer keeps of a model window it shows: the native
// window, its menu bar, and a native control (or two) for each control.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/window.h"

namespace pw::renderer::win32 {

// The native control a model control is shown as.
enum class ControlKind {
  Label,
  Button,
  CheckBox,
  RadioButton,
  GroupBox,
  Bevel,
  Panel,
  Edit,
  Memo,
  SpinEdit,
  ComboBox,
  ListBox,
  TrackBar,
  Gauge,
  TabControl,
  TabSheet,
  ListView,
  StatusBar,
  Picture,  // Image and PaintBox: a bitmap drawn by the renderer
};

struct NativeControl {
  ui::Control* model = nullptr;
  ControlKind kind = ControlKind::Label;
  HWND hwnd = nullptr;
  HWND buddy = nullptr;  // a spin edit's up-down arrows
  HFONT font = nullptr;  // a label's own typeface, owned here
  HBRUSH brush = nullptr;  // its own background, owned here
  HBITMAP glyph = nullptr;  // a button's picture, owned here
  COLORREF brush_color = 0;
  // What was last put into a list, so a change is told without reading the
  // native control back.
  std::vector<std::string> shown_items;
  std::vector<ui::ListView::Row> shown_rows;
  std::uint64_t painted = ~std::uint64_t{0};  // a paint box's drawing shown
};

struct NativeWindow {
  ui::Window* model = nullptr;
  HWND hwnd = nullptr;
  HMENU menu = nullptr;
  HACCEL accelerators = nullptr;
  // Its model takes the window messages from WM_USER on that other parts of
  // the application send it; no other window's model sees the system's
  // own messages of that range (a button asks its parent for the default
  // button with DM_GETDEFID, WM_USER).
  bool addressable = false;
  // Menu command i + kFirstMenuCommand runs commands[i].
  std::vector<const ui::MenuEntry*> commands;
  std::map<ui::Control*, NativeControl> controls;
  std::map<HWND, ui::Control*> by_hwnd;
  // The page shown by each tab control.
  std::map<ui::Control*, ui::TabSheet*> shown_page;
};

inline constexpr UINT kFirstMenuCommand = 1000;
// The window class of a tab control's pages: each hands its controls'
// notices on to the top-level window.
inline constexpr const wchar_t* kPageClass = L"PumpwirePage";

}  // namespace pw::renderer::win32
