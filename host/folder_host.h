// The host's services over a folder: the station's name and interface
// version come from the command line, request and report files live under
// DIR/host/, and the main menu is a HostMenuItem tree.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "host/host_menu.h"
#include "pumpwire/plugin.h"

namespace pw::host {

class FolderHost : public PwHostServices {
 public:
  // print receives every "host: ..." line (UTF-8), from any thread.
  FolderHost(std::string host_folder, std::string own_name, int interface_version,
             std::function<void(const std::string&)> print);

  HostMenuItem& menu() { return menu_; }
  const std::string& own_name() const { return own_name_; }
  int interface_version() const { return interface_version_; }
  const std::string& folder() const { return folder_; }
  void Print(const std::string& line) const { print_(line); }

  // The station the office host has chosen (GetCurrentStation).
  struct Station {
    int number = 0;
    std::string name, address;  // Windows-1251
  };
  void SetCurrentStation(Station station);
  Station CurrentStation() const;

 private:
  std::string folder_;     // Windows-1251, ends in the separator
  std::string own_name_;   // Windows-1251
  int interface_version_;
  std::function<void(const std::string&)> print_;
  HostMenuItem menu_;
  mutable std::mutex station_mu_;
  Station station_;  // guarded by station_mu_
};

}  // namespace pw::host
