// The fixed folders and files of the system, all derived here from the
// installation folder ("C:\KELD\" on Windows) and the settings folder (the
// Windows directory). Every path ends in the OS's separator when it is a
// folder; all are Windows-1251 text.
#pragma once

#include <string>

namespace pw {

struct Folders {
  std::string root;          // the installation folder
  std::string office;        // OFFICE: request files (station), reports (office)
  std::string from_office;   // FromOffice: files a station receives
  std::string from_azs;      // FromAZS: files the office receives
  std::string log_files;     // LogFiles
  std::string log_file;      // LogFiles/Pumpwire.log
  std::string history_file;  // LogFiles/MessageHistory.log
  std::string office_db;     // OfficeDB: the station table's database
  std::string settings_file; // cnf.INI in the settings folder
};

// Read afresh from the environment on every call, so a test may point the
// system at a new temporary tree.
Folders CurrentFolders();

// The folder where request files (station) and reports (office) are kept.
std::string OfficeFolder();

}  // namespace pw
