// Finding the plug-in's real windows and controls from outside them, as a
// test or a person's tool would: the visible top-level windows of this
// process, each control known by the window property "pw:" + its name.
// Any thread: nothing here waits for the thread that owns the windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pw::app {

// Visible top-level windows of this process, topmost first.
std::vector<HWND> VisibleTopLevelWindows();
// The topmost visible one of that window class; nullptr when none.
HWND FindVisibleWindow(const std::wstring& window_class);
// The topmost one of that window class, shown or hidden; nullptr when none.
HWND FindOwnWindow(const std::wstring& window_class);
// The first descendant of window carrying "pw:" + name (UTF-8).
HWND FindNamedControl(HWND window, const std::string& name);
// The same in the topmost visible window that has it.
HWND FindNamedControl(const std::string& name);
// Every descendant of window, in the order the system lists them.
std::vector<HWND> Descendants(HWND window);

// The name of the "pw:" property a control carries ("" when none), UTF-8.
std::string ControlName(HWND control);
std::wstring ClassOf(HWND window);
// The window's text, asked of its thread with a bound (a busy thread gives
// "" rather than a wait), UTF-8.
std::string TextOf(HWND window);

}  // namespace pw::app
