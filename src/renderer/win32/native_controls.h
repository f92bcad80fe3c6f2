// The native controls of the model controls: which kind each model control
// is shown as, making it, and putting the model's state into it where the
// two differ (so nothing the operator is typing is written over by itself).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "renderer/win32/native_window.h"

namespace pw::renderer::win32 {

// The kind a model control is shown as. A plain control is a tab control
// when tab sheets sit in it, a group box when it has a caption, else a
// bevel (a separator line) or a panel.
ControlKind Classify(const ui::Control& control, const ui::Window& window);

// Makes the native control (and a spin edit's arrows) in parent at bounds.
void CreateNativeControl(NativeControl& nc, HWND parent, const RECT& bounds, HINSTANCE instance,
                         HFONT font, HFONT bold_font);
// Puts the model's state into the native control: bounds, shown, enabled,
// text, items, checks, positions.
void SyncNativeControl(NativeControl& nc, const RECT& bounds, bool shown);
void DestroyNativeControl(NativeControl& nc);

// The window's text, as the models hold it (Windows-1251).
std::string TextOf(HWND hwnd);
void SetTextIfDifferent(HWND hwnd, const std::string& cp1251);
// A memo's text split into its lines at CR LF, and back.
std::vector<std::string> SplitLines(const std::string& text);
std::string JoinLines(const std::vector<std::string>& lines);
// A spin edit's value as it shows it.
std::string SpinText(double value);

}  // namespace pw::renderer::win32
