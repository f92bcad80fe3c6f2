// A plug-in for the stand-in application's tests whose windows follow the
// window contract the real plug-in's windows keep on Windows: a window of
// class "TInetForm" owned by the application window, its controls native
// child controls carrying "pw:NAME", a message box owned by the
// application, every step a line of LogFiles/Pumpwire.log. It stands where
// the plug-in's own windows are not real yet, so the application's driving
// of real windows is tried today.
//
// The exports (exports.cpp) see plugin.h only and the windows
// (windows.cpp) see <windows.h> only, as both declare a GetVersion.
#pragma once

#include <cstdint>

namespace fake {

// What the windows part needs of the host's menu, given by the exports part.
struct HostMenu {
  void* host;
  // The item under parent (nullptr: the main menu) with that caption
  // (Windows-1251), found or made; its click runs handler(id).
  void* (*item)(void* host, void* parent, const char* caption, void (*handler)(int id), int id);
};

std::int32_t Load(std::uint32_t app_window, std::uint8_t mode, const HostMenu& menu);
std::int32_t UnLoad();

}  // namespace fake
