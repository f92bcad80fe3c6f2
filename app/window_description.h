// One line per real window or control, as the commands "windows" and
// "controls" print them (UTF-8):
//   window: CLASS "CAPTION" WxH owned-by-app: yes|no
//   control: NAME CLASS "TEXT" enabled|disabled visible|hidden CHECK X,Y WxH
// WxH of a window is its client area; a control's X,Y is its top left
// corner in the client area of the top-level window; NAME is its "pw:"
// property ("-" when none); CHECK is checked, unchecked or indeterminate for
// check boxes and radio buttons, "-" for the rest. Texts show CR and LF as
// \r and \n.
#pragma once

#include <windows.h>

#include <string>

namespace pw::app {

std::string DescribeWindow(HWND window, HWND app_window);
std::string DescribeControl(HWND control, HWND top_level);

}  // namespace pw::app
