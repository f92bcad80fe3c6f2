// The plug-in's items in the host's main menu and their click handlers.
#pragma once

#include <string>

namespace pw {

// The click handlers; they use nothing of the object itself.
class CMenuProc {
 public:
  void DirectConnectionClick();
  void SettingsDialogClick();
  void SendTextMessageClick();
  void SendFileClick();
  void SendMyIPClick();
  void ShowScreenshotClick();
  void WatchStationTVClick();
  void MessageHistoryClick();
  void StationBoardClick();
};

// Builds the plug-in's menu tree under the host's main menu.
void AddMenus();

// The address the interactive items act on: the current station's address
// at the office, the station window's address part at a station.
std::string MenuTargetAddress();

}  // namespace pw
