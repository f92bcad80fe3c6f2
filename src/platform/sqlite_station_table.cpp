// The station table over SQLite, the one file that talks to it.
#include <sqlite3.h>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/station_table.h"
#include "text/cp1251.h"

namespace pw::platform {

namespace {

// How long a statement waits for another process's lock before it reports
// "database is locked".
constexpr int kBusyTimeoutMs = 2000;

[[noreturn]] void Fail(const std::string& file, const std::string& what) {
  throw Error(file + ": " + what);
}

// One open database file; closed on every path.
class Database {
 public:
  Database(const std::string& file, int flags) : file_(file) {
    const int rc = sqlite3_open_v2(text::utf8_from_cp1251(file).c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      const std::string what = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      Fail(file_, what);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  [[noreturn]] void Raise() const { Fail(file_, sqlite3_errmsg(db_)); }
  sqlite3* get() const { return db_; }

 private:
  std::string file_;
  sqlite3* db_ = nullptr;
};

// One prepared statement with its bound texts.
class Statement {
 public:
  Statement(const Database& db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &stmt_, nullptr) != SQLITE_OK) db_.Raise();
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int index, const std::string& value) {
    if (sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
      db_.Raise();
  }
  // True while a row is there to read.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Raise();
  }
  std::string Text(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return bytes != nullptr ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
  }

 private:
  const Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

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
