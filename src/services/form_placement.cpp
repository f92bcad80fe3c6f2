#include "services/form_placement.h"

#include "platform/environment.h"
#include "platform/ini_file.h"
#include "ui/window.h"

namespace pw {

namespace {

IniFile PlacementFile() { return IniFile(platform::SettingsFolder() + "PumpwirePlacement.INI"); }

const std::string& Section(const ui::Window& window) {
  return window.name.empty() ? window.class_name() : window.name;
}

}  // namespace

void SavePlacement(const ui::Window& window) {
  IniFile ini = PlacementFile();
  const std::string& section = Section(window);
  ini.WriteInteger(section, "Left", window.left);
  ini.WriteInteger(section, "Top", window.top);
  ini.WriteInteger(section, "Width", window.width);
  ini.WriteInteger(section, "Height", window.height);
}

void RestorePlacement(ui::Window& window) {
  const IniFile ini = PlacementFile();
  const std::string& section = Section(window);
  window.left = ini.ReadInteger(section, "Left", window.left);
  window.top = ini.ReadInteger(section, "Top", window.top);
  const int w = ini.ReadInteger(section, "Width", window.width);
  const int h = ini.ReadInteger(section, "Height", window.height);
  // The inside changes with the outer size, and the controls follow it.
  if (w != window.width || h != window.height)
    window.SetClientSize(window.client_width + (w - window.width),
                         window.client_height + (h - window.height));
}

void TrySavePlacement(const ui::Window& window) noexcept {
  try {
    SavePlacement(window);
  } catch (...) {
    // A placement that cannot be stored or read leaves the window where it
    // is; the operator loses nothing else.
  }
}

void TryRestorePlacement(ui::Window& window) noexcept {
  try {
    RestorePlacement(window);
  } catch (...) {
    // A placement that cannot be stored or read leaves the window where it
    // is; the operator loses nothing else.
  }
}

}  // namespace pw
