// The Windows renderer: every window model shown as a native top-level
// window of the model's class name, owned by the application's window, its
// controls as the native controls of their kinds, its menu bar with
// accelerators; the operator's questions as real message boxes and dialogs.
//
// Models announce changes while the main thread is busy; the renderer only
// notes which windows changed and posts itself a message, and brings the
// native windows in step with the models when the main thread next serves
// its messages (or at once where a native window must exist now). Native
// events go back into the models on the main thread, the thread whose
// windows they are.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "renderer/win32/native_window.h"
#include "ui/backend.h"

namespace pw::renderer::win32 {

class Win32Renderer final : public ui::Backend {
 public:
  // Windows are owned by app_window (nullptr: by none). Main thread.
  explicit Win32Renderer(HWND app_window);
  // Destroys every native window left and forgets the window classes.
  ~Win32Renderer() override;
  Win32Renderer(const Win32Renderer&) = delete;
  Win32Renderer& operator=(const Win32Renderer&) = delete;

  void WindowShown(ui::Window& window) override;
  void WindowAddressable(ui::Window& window) override;
  void WindowHidden(ui::Window& window) override;
  void WindowChanged(ui::Window& window) override;
  void WindowDestroyed(ui::Window& window) override;
  void ControlChanged(ui::Control& control) override;
  void ControlDestroyed(ui::Control& control) override;
  void BringToFront(ui::Window& window) override;

  ui::Answer ShowMessageBox(const ui::BoxRequest& box) override;
  ui::Answer RunModal(ui::Window& window) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& caption) override;

  // Brings every changed native window in step with its model now.
  void Flush();
  // The native window of a model, if it has been made.
  HWND NativeHandle(const ui::Window& window) const;
  // The message-only window whose posted message brings the windows in step.
  HWND flush_window() const { return flush_window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK FlushProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK KeyProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK AcceleratorHook(int code, WPARAM wparam, LPARAM lparam);
  // The thread's shown and enabled windows, into the vector at list.
  static BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM list);
  std::vector<HWND> DisableThreadWindows(HWND except);
  static void EnableAgain(const std::vector<HWND>& disabled);

  LRESULT HandleWindowMessage(NativeWindow& nw, UINT msg, WPARAM wparam, LPARAM lparam);
  void OnCommand(NativeWindow& nw, WPARAM wparam, LPARAM lparam);
  LRESULT OnNotify(NativeWindow& nw, const NMHDR& header);
  void OnDrawItem(NativeWindow& nw, const DRAWITEMSTRUCT& item);
  LRESULT OnControlColor(NativeWindow& nw, UINT msg, HDC dc, HWND child);
  void OnOperatorResize(NativeWindow& nw);

  NativeWindow& MakeNative(ui::Window& window);
  NativeControl& MakeControl(NativeWindow& nw, ui::Control& control);
  // The native window a control sits in and where, from the model's tree.
  HWND ParentOf(NativeWindow& nw, const ui::Control& control);
  RECT BoundsOf(NativeWindow& nw, const ui::Control& control);
  bool ShownInModel(const ui::Control& control) const;
  void SyncWindow(NativeWindow& nw);
  void SyncControls(NativeWindow& nw);
  void ShowPage(NativeWindow& nw, ui::Control& tabs, int tab);
  void MarkDirty(ui::Window& window);
  void ForgetControl(NativeWindow& nw, ui::Control& control);
  NativeWindow* Find(const ui::Window& window);
  NativeWindow* FromHandle(HWND hwnd);
  void RegisterClassOnce(const std::wstring& name, WNDPROC proc);

  HWND app_window_;
  HINSTANCE instance_;
  HWND flush_window_ = nullptr;
  HHOOK hook_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  std::map<const ui::Window*, std::unique_ptr<NativeWindow>> windows_;
  std::set<ui::Window*> dirty_;
  bool flush_posted_ = false;
  // Set while the renderer itself changes native windows: the notices they
  // send back are its own doing, not the operator's.
  int syncing_ = 0;
  int modal_depth_ = 0;  // modal loops running
  std::set<std::wstring> classes_;
};

}  // namespace pw::renderer::win32
