// What the windows and listeners are given by the plug-in that makes them:
// its mode, the host's services and the remembered address list. The top
// wiring owns the one instance (the plug-in state) and hands it to each
// window when it creates it, so nothing below the top reaches a global.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "services/host_services.h"
#include "services/worker_threads.h"

namespace pw {

namespace ui {
class ListBox;
}

inline constexpr std::uint8_t kStationMode = 0;
inline constexpr std::uint8_t kOfficeMode = 1;

struct PluginContext {
  std::uint8_t mode = kStationMode;
  std::optional<HostServices> host;
  // IPs of cnf.INI, newest first; main thread only.
  std::vector<std::string> remembered_addresses;
  // Set by AutoSendInet; the station's exchange reads and clears it.
  std::atomic<bool> AutoMode{false};
  // The threads the plug-in starts (the exchanges). UnLoad stops and joins
  // them before it frees the windows.
  WorkerThreads workers;
  // Opens the settings dialog modally (the connection windows' "Настройки");
  // set by the top wiring. Main thread.
  std::function<void()> open_settings_dialog;
  // The settings command of both connection windows: the dialog, or a line
  // in log saying there is none (a window made without the top wiring).
  void OpenSettingsDialog(ui::ListBox* log) const;

  bool is_station() const { return mode == kStationMode; }
  bool is_office() const { return mode == kOfficeMode; }
  // The host, or a pw::Error when Load has not been given one.
  const HostServices& Host() const;
};

}  // namespace pw
