// Host menu items made before Load ("Top>Child", --menu-item), so that the
// plug-in's found-or-made rules meet them. Made through the host's services
// and the menu item interface, as the plug-in makes its own, so any host
// menu takes them.
#pragma once

#include <string>
#include <vector>

#include "pumpwire/plugin.h"

namespace pw::host {

// Each path (UTF-8, captions joined by ">") is found or made level by level.
// Raises pw::Error with the host's text when a menu call fails.
void CreateMenuPaths(PwHostServices& host, const std::vector<std::string>& paths);

}  // namespace pw::host
