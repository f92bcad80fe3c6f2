#include "renderer/win32/win32_renderer.h"

#include <commctrl.h>

#include <cstdlib>
#include <algorithm>
#include <vector>

#include "platform/win32/wide_text.h"
#include "renderer/win32/menu_bar.h"
#include "renderer/win32/native_controls.h"
#include "renderer/win32/operator_dialogs.h"
#include "renderer/win32/picture_paint.h"
#include "ui/dispatcher.h"

namespace pw::renderer::win32 {

namespace {

// The renderer's own hidden window, where it posts itself the flush.
constexpr const wchar_t* kFlushClass = L"PumpwireRenderer";
constexpr UINT kFlushMessage = WM_APP + 1;
constexpr UINT_PTR kKeySubclass = 1;

// The typeface most windows use, made once for all their controls.
constexpr const char* kDefaultFont = "Tahoma";
constexpr int kDefaultFontPt = 8;  // 11 pixels at 96 dots an inch

// The one renderer of the process, for the window procedures and the hook.
Win32Renderer* current = nullptr;

HFONT MakeFont(const wchar_t* name, int height, bool bold) {
  return CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     name);
}

// The windows that come up without taking the operator's focus: the notice
// that slides in and the progress of a transfer.
bool ShowsWithoutFocus(const ui::Window& window) {
  return window.class_name() == "TInteractiveForm" || window.class_name() == "TProgressForm";
}

bool IsTabSheet(const ui::Control* c) { return dynamic_cast<const ui::TabSheet*>(c) != nullptr; }

}  // namespace

Win32Renderer::Win32Renderer(HWND app_window) : app_window_(app_window) {
  current = this;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&Win32Renderer::WindowProc), &module);
  instance_ = module;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                           ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  RegisterClassOnce(kFlushClass, &Win32Renderer::FlushProc);
  RegisterClassOnce(kPageClass, &Win32Renderer::PageProc);
  flush_window_ = CreateWindowExW(0, kFlushClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr);
  font_ = MakeFont(L"Tahoma", -11, false);
  bold_font_ = MakeFont(L"Tahoma", -11, true);
  hook_ = SetWindowsHookExW(WH_GETMESSAGE, &Win32Renderer::AcceleratorHook, nullptr, GetCurrentThreadId());
}

Win32Renderer::~Win32Renderer() {
  for (auto& [model, nw] : windows_) {
    for (auto& [control, nc] : nw->controls) DestroyNativeControl(nc);
    SetWindowLongPtrW(nw->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(nw->hwnd);
    DestroyMenuBar(MenuBar{nw->menu, nw->accelerators});
  }
  windows_.clear();
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  if (flush_window_ != nullptr) DestroyWindow(flush_window_);
  DeleteObject(font_);
  DeleteObject(bold_font_);
  // The classes name window procedures of this module, which may be unloaded next.
  for (const std::wstring& name : classes_) UnregisterClassW(name.c_str(), instance_);
  if (current == this) current = nullptr;
}

void Win32Renderer::RegisterClassOnce(const std::wstring& name, WNDPROC proc) {
  if (classes_.count(name) != 0) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  if (RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) classes_.insert(name);
}

// --- The models' notices --------------------------------------------------

void Win32Renderer::WindowShown(ui::Window& window) {
  NativeWindow* nw = Find(window);
  if (nw == nullptr) nw = &MakeNative(window);
  dirty_.erase(&window);
  SyncWindow(*nw);
  SyncControls(*nw);
}

void Win32Renderer::WindowAddressable(ui::Window& window) {
  NativeWindow* nw = Find(window);
  if (nw == nullptr) nw = &MakeNative(window);
  nw->addressable = true;
  SyncWindow(*nw);
}

void Win32Renderer::WindowHidden(ui::Window& window) {
  if (NativeWindow* nw = Find(window)) SyncWindow(*nw);
}

void Win32Renderer::WindowChanged(ui::Window& window) { MarkDirty(window); }

void Win32Renderer::WindowDestroyed(ui::Window& window) {
  dirty_.erase(&window);
  auto it = windows_.find(&window);
  if (it == windows_.end()) return;
  NativeWindow& nw = *it->second;
  for (auto& [control, nc] : nw.controls) DestroyNativeControl(nc);
  SetWindowLongPtrW(nw.hwnd, GWLP_USERDATA, 0);
  DestroyWindow(nw.hwnd);
  DestroyMenuBar(MenuBar{nw.menu, nw.accelerators});
  windows_.erase(it);
}

void Win32Renderer::ControlChanged(ui::Control& control) { MarkDirty(control.owner()); }

void Win32Renderer::ControlDestroyed(ui::Control& control) {
  if (NativeWindow* nw = Find(control.owner())) ForgetControl(*nw, control);
}

void Win32Renderer::BringToFront(ui::Window& window) {
  NativeWindow* nw = Find(window);
  if (nw == nullptr) return;
  BringWindowToTop(nw->hwnd);
  SetForegroundWindow(nw->hwnd);
}

void Win32Renderer::MarkDirty(ui::Window& window) {
  if (Find(window) == nullptr) return;  // made whole when first shown
  dirty_.insert(&window);
  if (!flush_posted_ && flush_window_ != nullptr) {
    flush_posted_ = PostMessageW(flush_window_, kFlushMessage, 0, 0) != FALSE;
  }
}

void Win32Renderer::Flush() {
  flush_posted_ = false;
  while (!dirty_.empty()) {
    ui::Window* window = *dirty_.begin();
    dirty_.erase(dirty_.begin());
    if (NativeWindow* nw = Find(*window)) {
      SyncWindow(*nw);
      SyncControls(*nw);
    }
  }
}

HWND Win32Renderer::NativeHandle(const ui::Window& window) const {
  auto it = windows_.find(&window);
  return it == windows_.end() ? nullptr : it->second->hwnd;
}

NativeWindow* Win32Renderer::Find(const ui::Window& window) {
  auto it = windows_.find(&window);
  return it == windows_.end() ? nullptr : it->second.get();
}

NativeWindow* Win32Renderer::FromHandle(HWND hwnd) {
  for (auto& [model, nw] : windows_)
    if (nw->hwnd == hwnd) return nw.get();
  return nullptr;
}

// --- Making and syncing ---------------------------------------------------

NativeWindow& Win32Renderer::MakeNative(ui::Window& window) {
  auto owned = std::make_unique<NativeWindow>();
  NativeWindow& nw = *owned;
  nw.model = &window;
  const std::wstring cls = platform::Wide(window.class_name());
  RegisterClassOnce(cls, &Win32Renderer::WindowProc);

  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (window.on_resize) style |= WS_THICKFRAME;
  if (!window.tool_window && !window.dialog_border) style |= WS_MINIMIZEBOX;
  DWORD ex_style = 0;
  if (window.tool_window) ex_style |= WS_EX_TOOLWINDOW;
  if (window.dialog_border) ex_style |= WS_EX_DLGMODALFRAME;
  if (window.stays_on_top) ex_style |= WS_EX_TOPMOST;
  if (window.main_menu != nullptr) {
    const MenuBar bar = BuildMenuBar(*window.main_menu, nw.commands);
    nw.menu = bar.menu;
    nw.accelerators = bar.accelerators;
  }
  RECT outer{0, 0, window.client_width, window.client_height};
  AdjustWindowRectEx(&outer, style, nw.menu != nullptr, ex_style);
  syncing_++;
  nw.hwnd = CreateWindowExW(ex_style, cls.c_str(), platform::Wide(window.caption).c_str(), style, window.left,
                            window.top, outer.right - outer.left, outer.bottom - outer.top, app_window_,
                            nw.menu, instance_, nullptr);
  syncing_--;
  SetWindowLongPtrW(nw.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&nw));
  windows_[&window] = std::move(owned);
  for (ui::Control* c : window.controls()) MakeControl(nw, *c);
  return nw;
}

NativeControl& Win32Renderer::MakeControl(NativeWindow& nw, ui::Control& control) {
  auto it = nw.controls.find(&control);
  if (it != nw.controls.end()) return it->second;
  if (control.parent != nullptr) MakeControl(nw, *control.parent);
  NativeControl& nc = nw.controls[&control];
  nc.model = &control;
  nc.kind = Classify(control, *nw.model);
  syncing_++;
  CreateNativeControl(nc, ParentOf(nw, control), BoundsOf(nw, control), instance_, font_, bold_font_);
  syncing_--;
  if (nc.hwnd == nullptr) return nc;
  nw.by_hwnd[nc.hwnd] = &control;
  // A label's own typeface, else the window's when it is not the default.
  const auto* label = nc.kind == ControlKind::Label ? static_cast<const ui::Label*>(&control) : nullptr;
  const ui::Font& window_font = nw.model->font;
  const ui::Font* typeface = label != nullptr && !label->font.name.empty() ? &label->font : nullptr;
  if (typeface == nullptr && !window_font.name.empty() &&
      (window_font.name != kDefaultFont || window_font.size_pt != kDefaultFontPt))
    typeface = &window_font;
  if (typeface != nullptr) {
    const int height = -MulDiv(typeface->size_pt, 96, 72);
    nc.font = MakeFont(platform::Wide(typeface->name).c_str(), height, label != nullptr && label->bold);
    SendMessageW(nc.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(nc.font), FALSE);
  }
  if (nc.kind == ControlKind::ComboBox) {
    // Keys released in the box go to the model: in the combo or its edit.
    SetWindowSubclass(nc.hwnd, &Win32Renderer::KeyProc, kKeySubclass, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(nc.hwnd, &info) && info.hwndItem != nullptr)
      SetWindowSubclass(info.hwndItem, &Win32Renderer::KeyProc, kKeySubclass, 0);
  }
  return nc;
}

void Win32Renderer::ForgetControl(NativeWindow& nw, ui::Control& control) {
  auto it = nw.controls.find(&control);
  if (it == nw.controls.end()) return;
  nw.by_hwnd.erase(it->second.hwnd);
  DestroyNativeControl(it->second);
  nw.controls.erase(it);
  nw.shown_page.erase(&control);
  for (auto& [tabs, page] : nw.shown_page)
    if (page == &control) page = nullptr;
}

HWND Win32Renderer::ParentOf(NativeWindow& nw, const ui::Control& control) {
  for (ui::Control* p = control.parent; p != nullptr; p = p->parent) {
    auto it = nw.controls.find(p);
    if (it == nw.controls.end()) continue;
    if (it->second.kind == ControlKind::TabSheet || it->second.kind == ControlKind::TabControl)
      return it->second.hwnd;
  }
  return nw.hwnd;
}

RECT Win32Renderer::BoundsOf(NativeWindow& nw, const ui::Control& control) {
  if (IsTabSheet(&control) && control.parent != nullptr) {
    // A page fills the tab control's display area.
    auto it = nw.controls.find(control.parent);
    RECT r{0, 0, control.parent->width, control.parent->height};
    if (it != nw.controls.end() && it->second.hwnd != nullptr)
      SendMessageW(it->second.hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  int x = control.left, y = control.top;
  // Group boxes and panels are drawn in their parent: their controls are
  // placed in the same parent, moved by their place.
  for (const ui::Control* p = control.parent; p != nullptr && !IsTabSheet(p); p = p->parent) {
    x += p->left;
    y += p->top;
  }
  return RECT{x, y, x + control.width, y + control.height};
}

bool Win32Renderer::ShownInModel(const ui::Control& control) const {
  if (!control.visible) return false;
  if (const auto* sheet = dynamic_cast<const ui::TabSheet*>(&control)) {
    if (!sheet->tab_visible) return false;
    auto w = windows_.find(&control.owner());
    if (w == windows_.end()) return false;
    auto page = w->second->shown_page.find(control.parent);
    return page != w->second->shown_page.end() && page->second == sheet;
  }
  for (const ui::Control* p = control.parent; p != nullptr && !IsTabSheet(p); p = p->parent)
    if (!p->visible) return false;
  return true;
}

void Win32Renderer::SyncWindow(NativeWindow& nw) {
  ui::Window& w = *nw.model;
  HWND hwnd = nw.hwnd;
  syncing_++;
  SetTextIfDifferent(hwnd, w.caption);
  const bool topmost = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  if (topmost != w.stays_on_top)
    SetWindowPos(hwnd, w.stays_on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!IsIconic(hwnd) && !IsZoomed(hwnd)) {
    RECT outer, client;
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    const int frame_w = (outer.right - outer.left) - client.right;
    const int frame_h = (outer.bottom - outer.top) - client.bottom;
    if (outer.left != w.left || outer.top != w.top || client.right != w.client_width ||
        client.bottom != w.client_height) {
      SetWindowPos(hwnd, nullptr, w.left, w.top, w.client_width + frame_w, w.client_height + frame_h,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      // A menu bar that wraps anew takes from the client area: once more.
      GetClientRect(hwnd, &client);
      if (client.bottom != w.client_height)
        SetWindowPos(hwnd, nullptr, 0, 0, w.client_width + frame_w,
                     w.client_height + frame_h + (w.client_height - client.bottom),
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
  }
  const bool shown = IsWindowVisible(hwnd) != FALSE;
  if (shown != w.visible)
    ShowWindow(hwnd, !w.visible ? SW_HIDE : ShowsWithoutFocus(w) ? SW_SHOWNOACTIVATE : SW_SHOW);
  syncing_--;
}

void Win32Renderer::SyncControls(NativeWindow& nw) {
  syncing_++;
  // Controls made since the window was.
  for (ui::Control* c : nw.model->controls()) MakeControl(nw, *c);
  for (ui::Control* c : nw.model->controls()) {
    NativeControl& nc = nw.controls[c];
    if (nc.hwnd == nullptr) continue;
    if (nc.kind == ControlKind::TabControl) {
      // The tabs: the pages whose tabs are shown, in order.
      std::vector<ui::TabSheet*> sheets;
      std::vector<std::string> captions;
      for (ui::Control* other : nw.model->controls())
        if (auto* sheet = dynamic_cast<ui::TabSheet*>(other); sheet && other->parent == c && sheet->tab_visible) {
          sheets.push_back(sheet);
          captions.push_back(sheet->caption);
        }
      if (captions != nc.shown_items) {
        SendMessageW(nc.hwnd, TCM_DELETEALLITEMS, 0, 0);
        for (std::size_t i = 0; i < captions.size(); ++i) {
          std::wstring text = platform::Wide(captions[i]);
          TCITEMW item{};
          item.mask = TCIF_TEXT;
          item.pszText = text.data();
          SendMessageW(nc.hwnd, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        }
        nc.shown_items = captions;
      }
      ui::TabSheet*& page = nw.shown_page[c];
      int index = -1;
      for (std::size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i] == page) index = static_cast<int>(i);
      if (index < 0 && !sheets.empty()) index = 0;
      page = index < 0 ? nullptr : sheets[static_cast<std::size_t>(index)];
      if (SendMessageW(nc.hwnd, TCM_GETCURSEL, 0, 0) != index) SendMessageW(nc.hwnd, TCM_SETCURSEL, index, 0);
    }
    SyncNativeControl(nc, BoundsOf(nw, *c), ShownInModel(*c));
  }
  syncing_--;
}

void Win32Renderer::ShowPage(NativeWindow& nw, ui::Control& tabs, int tab) {
  int i = 0;
  for (ui::Control* other : nw.model->controls())
    if (auto* sheet = dynamic_cast<ui::TabSheet*>(other); sheet && other->parent == &tabs && sheet->tab_visible) {
      if (i++ == tab) nw.shown_page[&tabs] = sheet;
    }
  SyncControls(nw);
}

// --- The operator's questions ---------------------------------------------

ui::Answer Win32Renderer::ShowMessageBox(const ui::BoxRequest& box) {
  Flush();
  // The system's box disables only its owner: the plug-in's other windows
  // wait for it too.
  const std::vector<HWND> disabled = DisableThreadWindows(nullptr);
  const ui::Answer answer = AskWithMessageBox(box, app_window_);
  EnableAgain(disabled);
  return answer;
}

std::optional<std::string> Win32Renderer::ChooseFileToOpen(const std::string& caption) {
  Flush();
  const std::vector<HWND> disabled = DisableThreadWindows(nullptr);
  std::optional<std::string> path = AskForFileToOpen(caption, app_window_);
  EnableAgain(disabled);
  return path;
}

// Every window of the thread waits for a modal one: the application's and
// the plug-in's other windows alike. Those enabled now are enabled again
// after; except stays as it is.
std::vector<HWND> Win32Renderer::DisableThreadWindows(HWND except) {
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), &Win32Renderer::CollectEnabledWindow,
                    reinterpret_cast<LPARAM>(&disabled));
  if (app_window_ != nullptr && IsWindowEnabled(app_window_) &&
      std::find(disabled.begin(), disabled.end(), app_window_) == disabled.end())
    disabled.push_back(app_window_);
  disabled.erase(std::remove(disabled.begin(), disabled.end(), except), disabled.end());
  for (HWND w : disabled) EnableWindow(w, FALSE);
  return disabled;
}

void Win32Renderer::EnableAgain(const std::vector<HWND>& disabled) {
  for (HWND w : disabled)
    if (IsWindow(w)) EnableWindow(w, TRUE);
}

BOOL CALLBACK Win32Renderer::CollectEnabledWindow(HWND window, LPARAM list) {
  if (IsWindowVisible(window) && IsWindowEnabled(window))
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

ui::Answer Win32Renderer::RunModal(ui::Window& window) {
  window.modal_result = ui::Window::ModalResult::None;
  const std::vector<HWND> disabled = DisableThreadWindows(NativeHandle(window));
  ++modal_depth_;
  window.Show();
  Flush();
  HWND hwnd = NativeHandle(window);
  if (hwnd != nullptr) SetForegroundWindow(hwnd);
  // Until one of the window's own buttons closes it, or the operator closes
  // it otherwise (it is hidden). A WM_QUIT ends it too, and is left for the
  // loop outside.
  while (window.modal_result == ui::Window::ModalResult::None && window.visible && hwnd != nullptr) {
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (IsDialogMessageW(hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    // The host may have unloaded the plug-in from inside the loop (its own
    // timer, the session ending): nothing of this renderer is left to touch.
    if (current != this) {
      EnableAgain(disabled);
      return ui::Answer::Cancel;
    }
  }
  --modal_depth_;
  const ui::Answer answer =
      window.modal_result == ui::Window::ModalResult::Ok ? ui::Answer::Ok : ui::Answer::Cancel;
  // The others first, so the activation goes back to the owner.
  EnableAgain(disabled);
  window.Hide();
  return answer;
}

// --- Native events --------------------------------------------------------

LRESULT CALLBACK Win32Renderer::FlushProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kFlushMessage && current != nullptr) {
    current->Flush();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK Win32Renderer::PageProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      // A page's controls are the top-level window's.
      return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wparam, lparam);
    default:
      return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

LRESULT CALLBACK Win32Renderer::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* nw = reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  Win32Renderer* renderer = current;
  if (nw == nullptr || renderer == nullptr) return DefWindowProcW(hwnd, msg, wparam, lparam);
  LRESULT result = 0;
  // The operator's action runs as a task of the main thread: a box or
  // dialog it opens serves the workers' work, never the host's next command
  // or a window timer in the middle of it. No exception crosses the
  // system's code that called us: the task reports it.
  ui::Dispatcher::instance().run_as_task(
      [&] { result = renderer->HandleWindowMessage(*nw, msg, wparam, lparam); });
  // The handler's loop may have outlived the renderer (UnLoad from inside
  // it): nothing of it is touched then.
  if (current != renderer) return result;
  // A modal loop waits in GetMessage, which a sent message does not end:
  // wake it to look whether the message closed its window.
  if (renderer->modal_depth_ > 0 && (msg == WM_COMMAND || msg == WM_CLOSE || msg == WM_NOTIFY))
    PostMessageW(renderer->flush_window_, WM_NULL, 0, 0);
  return result;
}

LRESULT CALLBACK Win32Renderer::KeyProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR) {
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &Win32Renderer::KeyProc, kKeySubclass);
  } else if (msg == WM_KEYUP && current != nullptr) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    HWND combo = lstrcmpiW(cls, L"ComboBox") == 0 ? hwnd : GetParent(hwnd);
    if (NativeWindow* nw = current->FromHandle(GetAncestor(combo, GA_ROOT))) {
      auto it = nw->by_hwnd.find(combo);
      if (it != nw->by_hwnd.end()) {
        auto* box = dynamic_cast<ui::ComboBox*>(it->second);
        try {
          if (box != nullptr && box->on_key_up) box->on_key_up(static_cast<int>(wparam));
        } catch (...) {
          ui::Dispatcher::instance().report_current_exception();
        }
      }
    }
  }
  return DefSubclassProc(hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK Win32Renderer::AcceleratorHook(int code, WPARAM wparam, LPARAM lparam) {
  // The application's own loop knows nothing of our menus' shortcuts: they
  // are translated here, as the message leaves the queue.
  if (code == HC_ACTION && wparam == PM_REMOVE && current != nullptr) {
    MSG* m = reinterpret_cast<MSG*>(lparam);
    if (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) {
      HWND root = GetAncestor(m->hwnd, GA_ROOT);
      NativeWindow* nw = root != nullptr ? current->FromHandle(root) : nullptr;
      if (nw != nullptr && nw->accelerators != nullptr && TranslateAcceleratorW(root, nw->accelerators, m))
        m->message = WM_NULL;
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT Win32Renderer::HandleWindowMessage(NativeWindow& nw, UINT msg, WPARAM wparam, LPARAM lparam) {
  HWND hwnd = nw.hwnd;
  switch (msg) {
    case WM_COMMAND:
      OnCommand(nw, wparam, lparam);
      return 0;
    case WM_NOTIFY:
      return OnNotify(nw, *reinterpret_cast<const NMHDR*>(lparam));
    case WM_HSCROLL: {
      auto it = nw.by_hwnd.find(reinterpret_cast<HWND>(lparam));
      if (it != nw.by_hwnd.end() && syncing_ == 0)
        if (auto* bar = dynamic_cast<ui::TrackBar*>(it->second)) {
          const int pos = static_cast<int>(SendMessageW(reinterpret_cast<HWND>(lparam), TBM_GETPOS, 0, 0));
          if (pos != bar->position()) bar->SetPosition(pos);
        }
      return 0;
    }
    case WM_DRAWITEM:
      OnDrawItem(nw, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
      return OnControlColor(nw, msg, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CLOSE:
      nw.model->OperatorClose();
      return 0;
    case WM_SIZE:
      for (auto& [control, nc] : nw.controls)
        if (nc.kind == ControlKind::StatusBar) SendMessageW(nc.hwnd, WM_SIZE, 0, 0);
      if (syncing_ == 0 && wparam != SIZE_MINIMIZED) OnOperatorResize(nw);
      return 0;
    case WM_MOVE:
      if (syncing_ == 0 && !IsIconic(hwnd)) {
        RECT r;
        GetWindowRect(hwnd, &r);
        if (nw.model->left != r.left) nw.model->left = static_cast<int>(r.left);
        if (nw.model->top != r.top) nw.model->top = static_cast<int>(r.top);
      }
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      if (nw.model->min_width > 0) info->ptMinTrackSize.x = nw.model->min_width;
      if (nw.model->min_height > 0) info->ptMinTrackSize.y = nw.model->min_height;
      return 0;
    }
    default:
      // The host's own messages to the window (1025 shows the shift list).
      if (nw.addressable && msg >= WM_USER && msg < WM_APP) {
        nw.model->HandleMessage(ui::Message{msg, static_cast<std::intptr_t>(wparam),
                                            static_cast<std::intptr_t>(lparam), {}});
        return 0;
      }
      return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

void Win32Renderer::OnOperatorResize(NativeWindow& nw) {
  RECT client;
  GetClientRect(nw.hwnd, &client);
  ui::Window& w = *nw.model;
  if (client.right == w.client_width && client.bottom == w.client_height) return;
  w.SetClientSize(client.right, client.bottom);
}

void Win32Renderer::OnCommand(NativeWindow& nw, WPARAM wparam, LPARAM lparam) {
  const UINT id = LOWORD(wparam);
  const UINT code = HIWORD(wparam);
  if (lparam == 0) {
    // Esc in a modal window (the dialog manager's IDCANCEL): as its close
    // box, which is its cancel.
    if (id == IDCANCEL && modal_depth_ > 0) {
      nw.model->OperatorClose();
      return;
    }
    // A menu command or its accelerator.
    if (id >= kFirstMenuCommand && id - kFirstMenuCommand < nw.commands.size()) {
      const ui::MenuEntry* entry = nw.commands[id - kFirstMenuCommand];
      if (entry->on_click) entry->on_click();
    }
    return;
  }
  HWND child = reinterpret_cast<HWND>(lparam);
  auto it = nw.by_hwnd.find(child);
  if (it == nw.by_hwnd.end()) return;
  ui::Control& c = *it->second;
  const ControlKind kind = nw.controls[&c].kind;
  const bool own_change = syncing_ != 0;
  switch (kind) {
    case ControlKind::Button:
      if (code == BN_CLICKED && !own_change) static_cast<ui::Button&>(c).Click();
      break;
    case ControlKind::CheckBox:
      if (code == BN_CLICKED && !own_change) {
        auto& box = static_cast<ui::CheckBox&>(c);
        box.checked = !box.checked;
        if (box.on_click) box.on_click();
      }
      break;
    case ControlKind::RadioButton:
      // Only a click on a button that is not on already: one that gets the
      // focus tells a click too, and a click on the chosen one changes
      // nothing.
      if (code == BN_CLICKED && !own_change && !static_cast<ui::RadioButton&>(c).checked)
        static_cast<ui::RadioButton&>(c).Click();
      break;
    case ControlKind::Edit:
      if (code == EN_CHANGE && !own_change) {
        std::string text = TextOf(child);
        if (c.caption != text) c.caption = std::move(text);
      }
      break;
    case ControlKind::Memo:
      if (code == EN_CHANGE && !own_change) {
        auto& memo = static_cast<ui::Memo&>(c);
        std::vector<std::string> lines = SplitLines(TextOf(child));
        if (memo.lines.get() != lines) memo.lines = std::move(lines);
      }
      break;
    case ControlKind::SpinEdit:
      if (code == EN_CHANGE && !own_change) {
        auto& spin = static_cast<ui::SpinEdit&>(c);
        const std::string text = TextOf(child);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (!text.empty() && *end == '\0' && value != spin.value) spin.value = value;
      }
      break;
    case ControlKind::ComboBox: {
      auto& box = static_cast<ui::ComboBox&>(c);
      if (own_change) break;
      if (code == CBN_EDITCHANGE) {
        // Typed text chooses no item of the list.
        std::string text = TextOf(child);
        if (box.item_index != -1) box.item_index = -1;
        if (box.caption != text) box.caption = std::move(text);
      } else if (code == CBN_SELCHANGE) {
        const int i = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        if (i >= 0 && static_cast<std::size_t>(i) < box.items.size()) {
          box.item_index = i;
          box.caption = box.items[static_cast<std::size_t>(i)];
          if (box.on_select) box.on_select();
        }
      } else if (code == CBN_KILLFOCUS) {
        if (box.on_exit) box.on_exit();
      }
      break;
    }
    case ControlKind::ListBox:
      if (code == LBN_SELCHANGE && !own_change) {
        auto& list = static_cast<ui::ListBox&>(c);
        const int i = static_cast<int>(SendMessageW(child, LB_GETCURSEL, 0, 0));
        if (list.item_index != i) list.item_index = i;
      }
      break;
    default:
      break;
  }
}

LRESULT Win32Renderer::OnNotify(NativeWindow& nw, const NMHDR& header) {
  auto it = nw.by_hwnd.find(header.hwndFrom);
  if (it == nw.by_hwnd.end()) return 0;
  ui::Control& c = *it->second;
  NativeControl& nc = nw.controls[&c];
  if (nc.kind == ControlKind::TabControl && header.code == TCN_SELCHANGE) {
    ShowPage(nw, c, static_cast<int>(SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0)));
  } else if (nc.kind == ControlKind::ListView && header.code == LVN_ITEMCHANGED && syncing_ == 0) {
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    auto& view = static_cast<ui::ListView&>(c);
    if ((change.uChanged & LVIF_STATE) == 0 || change.iItem < 0) return 0;
    const auto row = static_cast<std::size_t>(change.iItem);
    if (row >= view.rows.size() || row >= nc.shown_rows.size()) return 0;
    if ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) {
      const int selected = (change.uNewState & LVIS_SELECTED) ? change.iItem : -1;
      if (selected >= 0 || view.item_index == change.iItem) view.item_index = selected;
    }
    const bool checked = ((change.uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
    if ((change.uNewState & LVIS_STATEIMAGEMASK) == 0) return 0;  // no check box change
    nc.shown_rows[row].checked = checked;
    if (view.rows[row].checked != checked) view.rows[row].checked = checked;
  }
  return 0;
}

void Win32Renderer::OnDrawItem(NativeWindow& nw, const DRAWITEMSTRUCT& item) {
  auto it = nw.by_hwnd.find(item.hwndItem);
  if (it == nw.by_hwnd.end()) return;
  if (auto* image = dynamic_cast<ui::Image*>(it->second))
    PaintPicture(item.hDC, item.rcItem, image->picture, image->stretch, image->proportional);
  else if (auto* box = dynamic_cast<ui::PaintBox*>(it->second))
    PaintPicture(item.hDC, item.rcItem, box->canvas(), false, false);
}

LRESULT Win32Renderer::OnControlColor(NativeWindow& nw, UINT msg, HDC dc, HWND child) {
  auto it = nw.by_hwnd.find(child);
  if (it != nw.by_hwnd.end()) {
    NativeControl& nc = nw.controls[it->second];
    std::optional<COLORREF> back;
    if (auto* edit = dynamic_cast<ui::Edit*>(it->second); edit && edit->color != ui::kColorWindow)
      back = edit->color;
    if (auto* list = dynamic_cast<ui::ListBox*>(it->second); list && list->color != ui::kColorWindow)
      back = list->color;
    if (auto* label = dynamic_cast<ui::Label*>(it->second); label && (label->font_color || label->color)) {
      if (label->font_color) SetTextColor(dc, *label->font_color);
      if (!label->color) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      back = *label->color;
    }
    if (back) {
      if (nc.brush == nullptr || nc.brush_color != *back) {
        if (nc.brush != nullptr) DeleteObject(nc.brush);
        nc.brush = CreateSolidBrush(*back);
        nc.brush_color = *back;
      }
      SetBkColor(dc, *back);
      return reinterpret_cast<LRESULT>(nc.brush);
    }
  }
  return DefWindowProcW(nw.hwnd, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
}

}  // namespace pw::renderer::win32
