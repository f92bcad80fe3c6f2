// The process-wide state that Load sets up and UnLoad releases. It is read
// by every part of the plug-in; the user-interface thread alone changes it,
// except AutoMode, which the automatic send thread reads and clears.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/host_services.h"

namespace pw {

class CMenuProc;
namespace interactive {
class TTextInputForm;
class TInteractiveForm;
}  // namespace interactive
namespace station {
class TInetForm;
}
namespace office {
class TInetOfficeForm;
}

inline constexpr std::uint8_t kStationMode = 0;
inline constexpr std::uint8_t kOfficeMode = 1;

// One running TV stream of a station; destroying it stops and joins it.
class TVSession {
 public:
  virtual ~TVSession() = default;
};

inline constexpr std::size_t kTVSlots = 101;  // station numbers 0..100

struct PluginState {
  PluginState();
  ~PluginState();

  std::uint8_t mode = kStationMode;
  std::uint32_t application_window = 0;
  std::optional<HostServices> host;
  std::unique_ptr<CMenuProc> menu_proc;
  // The windows Load creates and UnLoad frees (main thread only).
  std::unique_ptr<station::TInetForm> station_window;      // station mode
  std::unique_ptr<office::TInetOfficeForm> office_window;  // office mode
  std::unique_ptr<interactive::TTextInputForm> text_input;
  std::unique_ptr<interactive::TInteractiveForm> message_window;
  std::vector<std::string> remembered_addresses;  // newest first
  std::atomic<bool> AutoMode{false};
  std::array<std::unique_ptr<TVSession>, kTVSlots> TVSessions;

  bool is_station() const { return mode == kStationMode; }
  bool is_office() const { return mode == kOfficeMode; }
  // The host, or a pw::Error when Load has not been given one.
  const HostServices& Host() const;
};

PluginState& State();

// The folder where request files (station) and reports (office) are kept.
std::string OfficeFolder();

}  // namespace pw
