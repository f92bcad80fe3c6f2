// The host's station table: table Office of the database OfficeDB, with the
// columns AZSname (the station's name) and AZSIP (its address), both text.
//
// The database is named by its folder, as on the station's own platform. Here
// the folder holds one SQLite file, Office.sqlite, with the table Office in
// it. Texts are stored as the system's Windows-1251 bytes, unconverted, and
// compared byte for byte.
//
// Every call opens the file, does its work and closes it again, so any thread
// may call at any time. Failures raise pw::Error: the file's path, ": " and
// SQLite's own text ("unable to open database file", "no such table:
// Office", "database is locked"). A missing file is never created, except by
// CreateStationTable.
#pragma once

#include <string>
#include <vector>

namespace pw::platform {

struct StationRecord {
  std::string AZSname;
  std::string AZSIP;
  bool operator==(const StationRecord&) const = default;
};

// The file that holds the database whose folder is database_folder.
std::string StationTableFile(const std::string& database_folder);

// Sets AZSIP to ip in the first record (the earliest stored) whose AZSname
// equals name exactly; later matches stay as they are. No match: nothing
// changes and nothing is reported. The name reaches the database as a bound
// value, never as part of the statement's text.
void UpdateStationAddress(const std::string& database_folder, const std::string& name,
                          const std::string& ip);

// For set-up and tests: makes the folder, the file and an empty table when
// they are missing; an existing table is kept.
void CreateStationTable(const std::string& database_folder);
// Appends a record at the end.
void AddStationRecord(const std::string& database_folder, const StationRecord& record);
// Every record, in stored order.
std::vector<StationRecord> ReadStationRecords(const std::string& database_folder);

}  // namespace pw::platform
