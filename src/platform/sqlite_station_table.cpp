// The station table over SQLite, the one file that talks to it.
#include "platform/files.h"
#include "platform/sqlite_database.h"
#include "platform/station_table.h"

namespace pw::platform {

using sqlite::Database;
using sqlite::Statement;

std::string StationTableFile(const std::string& database_folder) {
  std::string file = database_folder;
  if (!file.empty() && file.back() != kPathSeparator) file += kPathSeparator;
  return file + "Office.sqlite";
}

void UpdateStationAddress(const std::string& database_folder, const std::string& name,
                          const std::string& ip) {
  Database db(StationTableFile(database_folder), SQLITE_OPEN_READWRITE);
  Statement update(db,
                   "UPDATE Office SET AZSIP = ?1 WHERE rowid = "
                   "(SELECT rowid FROM Office WHERE AZSname = ?2 ORDER BY rowid LIMIT 1)");
  update.Bind(1, ip);
  update.Bind(2, name);
  update.Step();
}

void CreateStationTable(const std::string& database_folder) {
  CreateDirectories(database_folder);
  Database db(StationTableFile(database_folder), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  Statement create(db, "CREATE TABLE IF NOT EXISTS Office (AZSname TEXT, AZSIP TEXT)");
  create.Step();
}

void AddStationRecord(const std::string& database_folder, const StationRecord& record) {
  Database db(StationTableFile(database_folder), SQLITE_OPEN_READWRITE);
  Statement insert(db, "INSERT INTO Office (AZSname, AZSIP) VALUES (?1, ?2)");
  insert.Bind(1, record.AZSname);
  insert.Bind(2, record.AZSIP);
  insert.Step();
}

std::vector<StationRecord> ReadStationRecords(const std::string& database_folder) {
  Database db(StationTableFile(database_folder), SQLITE_OPEN_READONLY);
  Statement select(db, "SELECT AZSname, AZSIP FROM Office ORDER BY rowid");
  std::vector<StationRecord> records;
  while (select.Step()) records.push_back({select.Text(0), select.Text(1)});
  return records;
}

}  // namespace pw::platform
