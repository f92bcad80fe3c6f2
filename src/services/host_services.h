// The host's services as the plug-in uses them: each call checks the
// host's error and raises it as a pw::Error, and every returned text is
// copied at once (the host's copy lives only until the next call).
#pragma once

#include <cstdint>
#include <string>

#include "pumpwire/plugin.h"

namespace pw {

struct StationInfo {
  std::int32_t Number = 0;
  std::string Name;
  std::string Address;
};

class MenuItem {
 public:
  MenuItem() = default;
  explicit MenuItem(PwMenuItem* item) : item_(item) {}

  PwMenuItem* get() const { return item_; }
  explicit operator bool() const { return item_ != nullptr; }

  std::string Caption() const;
  void SetCaption(const std::string& caption) const;
  void SetHint(const std::string& hint) const;
  void SetHelpContext(std::int32_t context) const;
  void SetShortCut(std::uint16_t shortcut) const;
  void SetOnClick(PwClickHandler handler, void* context) const;
  std::int32_t Count() const;
  MenuItem Item(std::int32_t index) const;
  // The child with this caption, ignoring "&" and letter case; empty if none.
  MenuItem Find(const std::string& caption) const;

 private:
  PwMenuItem* item_ = nullptr;
};

class HostServices {
 public:
  explicit HostServices(PwHostServices* host) : host_(host) {}

  std::int32_t GetInterfaceVersion() const;
  std::string GetOwnName() const;
  std::string ProcessRequestFile(const std::string& request_path) const;
  std::string GetRequestFile(const std::string& station_name) const;
  void ProcessReportFile(const std::string& station_name, const std::string& report_path) const;
  MenuItem GetMainMenu() const;
  MenuItem CreateMenuItem(const MenuItem& parent, std::int32_t index) const;
  StationInfo GetCurrentStation(std::int32_t which) const;
  void UpdateTableField(const std::string& table, const std::string& field,
                        const std::string& station_name) const;

 private:
  PwHostServices* host_;
};

}  // namespace pw
