// Opening the settings dialog with what it needs of the plug-in: the mode,
// the connection library's presence, the phonebook entries and the
// listening server of the mode's connection window.
#pragma once

namespace pw {

struct PluginState;

// Makes the dialog, shows it modally and frees it. Main thread.
void OpenSettingsDialog(PluginState& state);

}  // namespace pw
