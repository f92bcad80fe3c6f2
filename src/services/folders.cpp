#include "services/folders.h"

#include "platform/environment.h"
#include "platform/files.h"

namespace pw {

Folders CurrentFolders() {
  const std::string root = platform::InstallationFolder();
  const std::string sep(1, platform::kPathSeparator);
  Folders f;
  f.root = root;
  f.office = root + "OFFICE" + sep;
  f.from_office = root + "FromOffice" + sep;
  f.from_azs = root + "FromAZS" + sep;
  f.log_files = root + "LogFiles" + sep;
  f.log_file = f.log_files + "Pumpwire.log";
  f.history_file = f.log_files + "MessageHistory.log";
  f.office_db = root + "OfficeDB";
  f.settings_file = platform::SettingsFolder() + "cnf.INI";
  return f;
}

std::string OfficeFolder() { return CurrentFolders().office; }

}  // namespace pw
