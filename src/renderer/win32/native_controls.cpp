#include "renderer/win32/native_controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "platform/win32/wide_text.h"

namespace pw::renderer::win32 {

namespace {

// Room below a combo box for its dropped-down list.
constexpr int kDropDownRoom = 200;
// The width of a spin edit's arrows.
constexpr int kArrowsWidth = 16;
// One line of the windows' font (Tahoma 8 pt) in a label.
constexpr int kLineHeight = 13;

bool SameRows(const std::vector<ui::ListView::Row>& a, const std::vector<ui::ListView::Row>& b,
              bool with_checks) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].texts != b[i].texts) return false;
    if (with_checks && a[i].checked != b[i].checked) return false;
  }
  return true;
}

RECT CurrentBounds(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void Place(HWND hwnd, int x, int y, int w, int h) {
  const RECT now = CurrentBounds(hwnd);
  if (now.left == x && now.top == y && now.right - now.left == w && now.bottom - now.top == h)
    return;
  SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetShown(HWND hwnd, bool shown) {
  const bool now = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
  if (now != shown) ShowWindow(hwnd, shown ? SW_SHOWNA : SW_HIDE);
}

void SetEnabled(HWND hwnd, bool enabled) {
  if ((IsWindowEnabled(hwnd) != FALSE) != enabled) EnableWindow(hwnd, enabled ? TRUE : FALSE);
}

void SetChecked(HWND hwnd, bool checked) {
  const bool now = SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (now != checked) SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The list's lines: the common change, lines added at the end (and the
// oldest dropped, as a log does), without filling the list anew.
void SyncListItems(HWND hwnd, std::vector<std::string>& shown, const std::vector<std::string>& items,
                   UINT add, UINT remove, UINT reset) {
  if (shown == items) return;
  std::size_t dropped = 0;
  bool found = false;
  for (; dropped <= shown.size() && dropped <= 64; ++dropped) {
    const std::size_t kept = shown.size() - dropped;
    if (kept > items.size()) continue;
    if (std::equal(shown.begin() + static_cast<std::ptrdiff_t>(dropped), shown.end(), items.begin())) {
      found = true;
      break;
    }
  }
  SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
  std::size_t from = 0;
  if (found) {
    for (std::size_t i = 0; i < dropped; ++i) SendMessageW(hwnd, remove, 0, 0);
    from = shown.size() - dropped;
  } else {
    SendMessageW(hwnd, reset, 0, 0);
  }
  for (std::size_t i = from; i < items.size(); ++i) {
    const std::wstring w = platform::Wide(items[i]);
    SendMessageW(hwnd, add, 0, reinterpret_cast<LPARAM>(w.c_str()));
  }
  SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd, nullptr, TRUE);
  shown = items;
}

void SyncListView(NativeControl& nc, const ui::ListView& view) {
  const std::vector<ui::ListView::Row>& rows = view.rows;
  if (!SameRows(nc.shown_rows, rows, false)) {
    SendMessageW(nc.hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(nc.hwnd, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& texts = rows[i].texts;
      std::wstring first = platform::Wide(texts.empty() ? std::string() : texts[0]);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = first.data();
      SendMessageW(nc.hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      for (std::size_t col = 1; col < texts.size(); ++col) {
        std::wstring text = platform::Wide(texts[col]);
        LVITEMW sub{};
        sub.iSubItem = static_cast<int>(col);
        sub.pszText = text.data();
        SendMessageW(nc.hwnd, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&sub));
      }
    }
    SendMessageW(nc.hwnd, WM_SETREDRAW, TRUE, 0);
    nc.shown_rows.clear();
    for (const auto& row : rows) nc.shown_rows.push_back({row.texts, !row.checked});
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (nc.shown_rows[i].checked == rows[i].checked) continue;
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(rows[i].checked ? 2 : 1);
    SendMessageW(nc.hwnd, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
    nc.shown_rows[i].checked = rows[i].checked;
  }
}

void SyncStatusBar(NativeControl& nc, const ui::StatusBar& bar) {
  std::vector<std::string> now;
  for (const auto& panel : bar.panels.get())
    now.push_back(std::to_string(panel.width) + "|" + panel.text);
  if (now == nc.shown_items) return;
  std::vector<int> edges;
  int right = 0;
  for (const auto& panel : bar.panels.get()) edges.push_back(right += panel.width);
  if (!edges.empty()) edges.back() = -1;  // the last panel takes the rest
  SendMessageW(nc.hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (std::size_t i = 0; i < bar.panels.size(); ++i) {
    const std::wstring text = platform::Wide(bar.panels[i].text);
    SendMessageW(nc.hwnd, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(text.c_str()));
  }
  nc.shown_items = std::move(now);
}

}  // namespace

ControlKind Classify(const ui::Control& c, const ui::Window& window) {
  if (dynamic_cast<const ui::ListBox*>(&c)) return ControlKind::ListBox;
  if (dynamic_cast<const ui::CheckBox*>(&c)) return ControlKind::CheckBox;
  if (dynamic_cast<const ui::RadioButton*>(&c)) return ControlKind::RadioButton;
  if (dynamic_cast<const ui::Button*>(&c)) return ControlKind::Button;
  if (dynamic_cast<const ui::Label*>(&c)) return ControlKind::Label;
  if (dynamic_cast<const ui::Gauge*>(&c)) return ControlKind::Gauge;
  if (dynamic_cast<const ui::ComboBox*>(&c)) return ControlKind::ComboBox;
  if (dynamic_cast<const ui::Memo*>(&c)) return ControlKind::Memo;
  if (dynamic_cast<const ui::Edit*>(&c)) return ControlKind::Edit;
  if (dynamic_cast<const ui::SpinEdit*>(&c)) return ControlKind::SpinEdit;
  if (dynamic_cast<const ui::TrackBar*>(&c)) return ControlKind::TrackBar;
  if (dynamic_cast<const ui::GroupBox*>(&c)) return ControlKind::GroupBox;
  if (dynamic_cast<const ui::TabSheet*>(&c)) return ControlKind::TabSheet;
  if (dynamic_cast<const ui::ListView*>(&c)) return ControlKind::ListView;
  if (dynamic_cast<const ui::StatusBar*>(&c)) return ControlKind::StatusBar;
  if (dynamic_cast<const ui::Image*>(&c) || dynamic_cast<const ui::PaintBox*>(&c))
    return ControlKind::Picture;
  if (typeid(c) != typeid(ui::Control)) return ControlKind::Panel;
  for (const ui::Control* other : window.controls())
    if (other->parent == &c && dynamic_cast<const ui::TabSheet*>(other)) return ControlKind::TabControl;
  return c.caption.empty() ? ControlKind::Bevel : ControlKind::GroupBox;
}

// A button's picture, by the name its model gives it, drawn here in black
// on the button's face (16 x 16, "#" a black pixel): the same on every
// system; nullptr for a name it has none for.
HBITMAP GlyphBitmap(const std::string& glyph) {
  static constexpr const char* kSettings[16] = {
      "................", ".......##.......", "..##...##...##..", "...##########...",
      "....########....", "...###....###...", "..###......###..", "####........####",
      "####........####", "..###......###..", "...###....###...", "....########....",
      "...##########...", "..##...##...##..", ".......##.......", "................"};
  static constexpr const char* kStations[16] = {
      "................", "................", ".##..#########..", ".##..#########..",
      "................", "................", ".##..#########..", ".##..#########..",
      "................", "................", ".##..#########..", ".##..#########..",
      "................", "................", "................", "................"};
  const char* const* rows = glyph == "settings" ? kSettings : glyph == "stations" ? kStations : nullptr;
  if (rows == nullptr) return nullptr;
  // On the button's face colour, as the button paints its face.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const std::uint32_t face_pixel = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
  std::uint32_t pixels[16 * 16];
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) pixels[y * 16 + x] = rows[y][x] == '#' ? 0u : face_pixel;
  return CreateBitmap(16, 16, 1, 32, pixels);
}

void CreateNativeControl(NativeControl& nc, HWND parent, const RECT& bounds, HINSTANCE instance,
                         HFONT font, HFONT bold_font) {
  const ui::Control& c = *nc.model;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD ex_style = 0;
  const wchar_t* cls = L"Static";
  int height = bounds.bottom - bounds.top;
  int width = bounds.right - bounds.left;
  switch (nc.kind) {
    case ControlKind::Label: {
      const auto& label = static_cast<const ui::Label&>(c);
      // A label one line high keeps to its line, clipped where the font is
      // wider than the one it was laid out for (wrapped, the rest would go
      // to a second line nobody sees); a taller one wraps its text.
      const bool one_line = label.height < 2 * kLineHeight;
      style |= SS_NOPREFIX | (label.alignment == ui::Alignment::Center  ? SS_CENTER
                              : label.alignment == ui::Alignment::Right ? SS_RIGHT
                              : one_line                                ? SS_LEFTNOWORDWRAP
                                                                        : SS_LEFT);
      break;
    }
    case ControlKind::Button: {
      cls = L"Button";
      style |= BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
      // A picture alone where the button has no caption (a button shows
      // either its text or its icon).
      const auto& button = static_cast<const ui::Button&>(c);
      if (button.caption.get().empty() && !button.glyph.empty()) {
        nc.glyph = GlyphBitmap(button.glyph);
        if (nc.glyph != nullptr) style |= BS_BITMAP;
      }
      break;
    }
    case ControlKind::CheckBox:
      cls = L"Button";
      style |= BS_CHECKBOX | WS_TABSTOP;
      break;
    case ControlKind::RadioButton:
      cls = L"Button";
      style |= BS_RADIOBUTTON | WS_TABSTOP;
      break;
    case ControlKind::GroupBox:
      cls = L"Button";
      style |= BS_GROUPBOX;
      break;
    case ControlKind::Bevel:
      style |= height <= 2 ? SS_ETCHEDHORZ : SS_ETCHEDFRAME;
      break;
    case ControlKind::Panel:
      style |= SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | SS_NOPREFIX;
      break;
    case ControlKind::Edit:
      cls = L"Edit";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      if (static_cast<const ui::Edit&>(c).password_char != 0) style |= ES_PASSWORD;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Memo: {
      const auto& memo = static_cast<const ui::Memo&>(c);
      cls = L"Edit";
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP;
      if (memo.read_only) style |= ES_READONLY;
      if (memo.horizontal_scroll) style |= ES_AUTOHSCROLL | WS_HSCROLL;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    }
    case ControlKind::SpinEdit:
      cls = L"Edit";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      ex_style |= WS_EX_CLIENTEDGE;
      width = std::max(width - kArrowsWidth, 0);
      break;
    case ControlKind::ComboBox:
      cls = L"ComboBox";
      style |= (static_cast<const ui::ComboBox&>(c).editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL
                                                              : CBS_DROPDOWNLIST) |
               WS_VSCROLL | WS_TABSTOP;
      height += kDropDownRoom;
      break;
    case ControlKind::ListBox:
      cls = L"ListBox";
      style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::TrackBar:
      cls = TRACKBAR_CLASSW;
      style |= TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP;
      break;
    case ControlKind::Gauge:
      cls = PROGRESS_CLASSW;
      style |= PBS_SMOOTH;
      break;
    case ControlKind::TabControl:
      cls = WC_TABCONTROLW;
      style |= WS_TABSTOP;
      break;
    case ControlKind::TabSheet:
      cls = kPageClass;
      style |= WS_CLIPCHILDREN;
      break;
    case ControlKind::ListView: {
      const auto& view = static_cast<const ui::ListView&>(c);
      cls = WC_LISTVIEWW;
      style |= LVS_REPORT | WS_TABSTOP;
      if (!view.hide_selection) style |= LVS_SHOWSELALWAYS;
      if (!view.column_click) style |= LVS_NOSORTHEADER;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    }
    case ControlKind::StatusBar:
      cls = STATUSCLASSNAMEW;
      break;
    case ControlKind::Picture:
      style |= SS_OWNERDRAW;
      break;
  }
  nc.hwnd = CreateWindowExW(ex_style, cls, L"", style, bounds.left, bounds.top, width, height, parent,
                            nullptr, instance, nullptr);
  if (nc.hwnd == nullptr) return;
  // Later controls lie over earlier ones, as the models are laid out.
  SetWindowPos(nc.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  bool bold = nc.kind == ControlKind::Label && static_cast<const ui::Label&>(c).bold;
  SendMessageW(nc.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? bold_font : font), FALSE);
  SetPropW(nc.hwnd, (L"pw:" + platform::Wide(c.name())).c_str(), reinterpret_cast<HANDLE>(1));

  if (nc.glyph != nullptr) SendMessageW(nc.hwnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(nc.glyph));
  switch (nc.kind) {
    case ControlKind::Edit:
      if (const char p = static_cast<const ui::Edit&>(c).password_char; p != 0)
        SendMessageW(nc.hwnd, EM_SETPASSWORDCHAR, static_cast<WPARAM>(static_cast<unsigned char>(p)), 0);
      break;
    case ControlKind::SpinEdit: {
      nc.buddy = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                 WS_CHILD | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                                 bounds.left + width, bounds.top, kArrowsWidth,
                                 bounds.bottom - bounds.top, parent, nullptr, instance, nullptr);
      SendMessageW(nc.buddy, UDM_SETBUDDY, reinterpret_cast<WPARAM>(nc.hwnd), 0);
      const auto& spin = static_cast<const ui::SpinEdit&>(c);
      const int lo = spin.HasRange() ? static_cast<int>(spin.min_value) : -2147483647;
      const int hi = spin.HasRange() ? static_cast<int>(spin.max_value) : 2147483647;
      SendMessageW(nc.buddy, UDM_SETRANGE32, static_cast<WPARAM>(lo), static_cast<LPARAM>(hi));
      break;
    }
    case ControlKind::ListView: {
      const auto& view = static_cast<const ui::ListView&>(c);
      DWORD ex = LVS_EX_DOUBLEBUFFER;
      if (view.check_boxes) ex |= LVS_EX_CHECKBOXES;
      if (view.grid_lines) ex |= LVS_EX_GRIDLINES;
      if (view.row_select) ex |= LVS_EX_FULLROWSELECT;
      SendMessageW(nc.hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
      for (std::size_t i = 0; i < view.columns.size(); ++i) {
        std::wstring text = platform::Wide(view.columns[i].caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = view.columns[i].width;
        column.pszText = text.data();
        column.iSubItem = static_cast<int>(i);
        SendMessageW(nc.hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
      }
      break;
    }
    default:
      break;
  }
}

void SyncNativeControl(NativeControl& nc, const RECT& bounds, bool shown) {
  ui::Control& c = *nc.model;
  HWND hwnd = nc.hwnd;
  const int x = bounds.left, y = bounds.top;
  const int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
  switch (nc.kind) {
    case ControlKind::StatusBar:
      break;  // the bar keeps itself along the bottom edge
    case ControlKind::ComboBox: {
      const RECT now = CurrentBounds(hwnd);
      if (now.left != x || now.top != y || now.right - now.left != w)
        SetWindowPos(hwnd, nullptr, x, y, w, h + kDropDownRoom, SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    case ControlKind::SpinEdit:
      Place(hwnd, x, y, std::max(w - kArrowsWidth, 0), h);
      Place(nc.buddy, x + std::max(w - kArrowsWidth, 0), y, kArrowsWidth, h);
      break;
    default:
      Place(hwnd, x, y, w, h);
  }
  SetShown(hwnd, shown);
  SetEnabled(hwnd, c.enabled);
  if (nc.buddy != nullptr) {
    SetShown(nc.buddy, shown);
    SetEnabled(nc.buddy, c.enabled);
  }

  switch (nc.kind) {
    case ControlKind::Label:
    case ControlKind::Button:
    case ControlKind::GroupBox:
    case ControlKind::Panel:
    case ControlKind::Edit:
    case ControlKind::TabSheet:
      SetTextIfDifferent(hwnd, c.caption);
      break;
    case ControlKind::CheckBox:
      SetTextIfDifferent(hwnd, c.caption);
      SetChecked(hwnd, static_cast<ui::CheckBox&>(c).checked);
      break;
    case ControlKind::RadioButton:
      SetTextIfDifferent(hwnd, c.caption);
      SetChecked(hwnd, static_cast<ui::RadioButton&>(c).checked);
      break;
    case ControlKind::Memo: {
      const auto& lines = static_cast<ui::Memo&>(c).lines.get();
      if (SplitLines(TextOf(hwnd)) != lines) SetTextIfDifferent(hwnd, JoinLines(lines));
      break;
    }
    case ControlKind::SpinEdit: {
      const double value = static_cast<ui::SpinEdit&>(c).value;
      const std::string text = TextOf(hwnd);
      char* end = nullptr;
      const double shown_value = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || shown_value != value) SetTextIfDifferent(hwnd, SpinText(value));
      break;
    }
    case ControlKind::ComboBox: {
      auto& box = static_cast<ui::ComboBox&>(c);
      SyncListItems(hwnd, nc.shown_items, box.items, CB_ADDSTRING, CB_DELETESTRING, CB_RESETCONTENT);
      const int index = box.item_index < static_cast<int>(box.items.size()) ? box.item_index : -1;
      // No item chosen in a box that takes text: its text is all there is
      // (choosing none would empty it, and a text being typed keeps its caret).
      const bool choose = index >= 0 || !box.editable;
      if (choose && SendMessageW(hwnd, CB_GETCURSEL, 0, 0) != index) SendMessageW(hwnd, CB_SETCURSEL, index, 0);
      // A drop-down list shows its chosen item and takes no other text.
      if (box.editable) SetTextIfDifferent(hwnd, box.caption);
      break;
    }
    case ControlKind::ListBox: {
      auto& list = static_cast<ui::ListBox&>(c);
      SyncListItems(hwnd, nc.shown_items, list.items, LB_ADDSTRING, LB_DELETESTRING, LB_RESETCONTENT);
      if (SendMessageW(hwnd, LB_GETHORIZONTALEXTENT, 0, 0) != list.horizontal_extent)
        SendMessageW(hwnd, LB_SETHORIZONTALEXTENT, list.horizontal_extent, 0);
      const int index = list.item_index < static_cast<int>(list.items.size()) ? list.item_index : -1;
      if (SendMessageW(hwnd, LB_GETCURSEL, 0, 0) != index) SendMessageW(hwnd, LB_SETCURSEL, index, 0);
      break;
    }
    case ControlKind::TrackBar: {
      auto& bar = static_cast<ui::TrackBar&>(c);
      if (SendMessageW(hwnd, TBM_GETRANGEMIN, 0, 0) != bar.min ||
          SendMessageW(hwnd, TBM_GETRANGEMAX, 0, 0) != bar.max) {
        SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, bar.min);
        SendMessageW(hwnd, TBM_SETRANGEMAX, TRUE, bar.max);
        SendMessageW(hwnd, TBM_SETTICFREQ, std::max(bar.frequency, 1), 0);
      }
      if (SendMessageW(hwnd, TBM_GETPOS, 0, 0) != bar.position())
        SendMessageW(hwnd, TBM_SETPOS, TRUE, bar.position());
      break;
    }
    case ControlKind::Gauge: {
      auto& gauge = static_cast<ui::Gauge&>(c);
      if (SendMessageW(hwnd, PBM_GETRANGE, TRUE, 0) != gauge.min() ||
          SendMessageW(hwnd, PBM_GETRANGE, FALSE, 0) != gauge.max())
        SendMessageW(hwnd, PBM_SETRANGE32, gauge.min(), gauge.max());
      if (SendMessageW(hwnd, PBM_GETPOS, 0, 0) != gauge.position())
        SendMessageW(hwnd, PBM_SETPOS, gauge.position(), 0);
      break;
    }
    case ControlKind::ListView:
      SyncListView(nc, static_cast<ui::ListView&>(c));
      break;
    case ControlKind::StatusBar:
      SyncStatusBar(nc, static_cast<ui::StatusBar&>(c));
      break;
    case ControlKind::Picture:
      if (auto* box = dynamic_cast<ui::PaintBox*>(&c)) {
        if (box->paint_count() == nc.painted) break;
        nc.painted = box->paint_count();
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case ControlKind::Bevel:
    case ControlKind::TabControl:
      break;  // the renderer keeps a tab control's tabs
  }
}

void DestroyNativeControl(NativeControl& nc) {
  if (nc.buddy != nullptr) DestroyWindow(nc.buddy);
  if (nc.hwnd != nullptr) {
    RemovePropW(nc.hwnd, (L"pw:" + platform::Wide(nc.model->name())).c_str());
    DestroyWindow(nc.hwnd);
  }
  if (nc.font != nullptr) DeleteObject(nc.font);
  if (nc.brush != nullptr) DeleteObject(nc.brush);
  if (nc.glyph != nullptr) DeleteObject(nc.glyph);
  nc.glyph = nullptr;
  nc.hwnd = nc.buddy = nullptr;
  nc.font = nullptr;
  nc.brush = nullptr;
}

std::string TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return platform::Narrow(text);
}

void SetTextIfDifferent(HWND hwnd, const std::string& cp1251) {
  if (TextOf(hwnd) == cp1251) return;
  SetWindowTextW(hwnd, platform::Wide(cp1251).c_str());
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

std::string SpinText(double value) {
  char buffer[64];
  if (value == std::floor(value) && std::fabs(value) < 1e15)
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
  else
    std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

}  // namespace pw::renderer::win32
