// The host's services over a folder: the station's name and interface
// version come from the command line, request and report files live under
// DIR/host/, and the main menu is a HostMenuItem tree.
//
// Office:  GetRequestFile(NAME) answers DIR/host/requests/NAME when the user
//          has put a file there (it stays: the same request goes out at every
//          exchange until it is replaced or removed), else none; a name that
//          is not a plain file name gets none. ProcessReportFile copies the
//          report to DIR/host/reports/ under its own file name.
// Menu:    GetMainMenu and CreateMenuItem serve the host's own HostMenuItem
//          tree; a host with a real menu overrides MainMenu and AppendItem.
// Station: ProcessRequestFile runs the report command with the request's
//          path as its argument and answers the first line it prints (none
//          when it prints nothing; an error when it exits with non-zero
//          status); without a command it writes DIR/host/answers/REQUEST.txt,
//          naming the request and its size, and answers that.
#pragma once

#include <functional>
#include <string>

#include "host/host_menu.h"
#include "pumpwire/plugin.h"
#include "sync/mutex.h"

namespace pw::host {

class FolderHost : public PwHostServices {
 public:
  // print receives every "host: ..." line (UTF-8), from any thread.
  FolderHost(std::string host_folder, std::string own_name, int interface_version,
             std::function<void(const std::string&)> print);
  virtual ~FolderHost() = default;
  FolderHost(const FolderHost&) = delete;
  FolderHost& operator=(const FolderHost&) = delete;

  // GetMainMenu's answer, and CreateMenuItem's: a new item appended under
  // parent (an item this host gave out). Main thread only.
  virtual PwMenuItem& MainMenu() { return menu_; }
  virtual PwMenuItem& AppendItem(PwMenuItem& parent) { return static_cast<HostMenuItem&>(parent).Append(); }

  HostMenuItem& menu() { return menu_; }
  const std::string& own_name() const { return own_name_; }
  int interface_version() const { return interface_version_; }
  const std::string& folder() const { return folder_; }
  // The command ProcessRequestFile runs (Windows-1251); empty = the host
  // writes a report of its own.
  void SetReportCommand(std::string command) { report_command_ = std::move(command); }
  const std::string& report_command() const { return report_command_; }
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
  std::string report_command_;  // set before Load
  std::function<void(const std::string&)> print_;
  HostMenuItem menu_;
  mutable Mutex station_mu_;
  Station station_ GUARDED_BY(station_mu_);
};

}  // namespace pw::host
