// An open SQLite file and its prepared statements, for the platform's own
// tables (the station table, the stations' board). Texts go in and come out
// as the system's Windows-1251 bytes, unconverted. Failures raise pw::Error:
// the file's path, ": " and SQLite's own text.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::platform::sqlite {

// How long a statement waits for another process's lock before it reports
// "database is locked".
inline constexpr int kBusyTimeoutMs = 2000;

[[noreturn]] inline void Fail(const std::string& file, const std::string& what) {
  throw Error(file + ": " + what, ErrorKind::kFile);
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
  // Statements with no parameters and no rows to read.
  void Execute(const char* sql) const {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Raise();
  }

 private:
  std::string file_;
  sqlite3* db_ = nullptr;
};

// One prepared statement with its bound values.
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
  void Bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) db_.Raise();
  }
  void Bind(int index, double value) {
    if (sqlite3_bind_double(stmt_, index, value) != SQLITE_OK) db_.Raise();
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
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  double Real(int column) const { return sqlite3_column_double(stmt_, column); }

 private:
  const Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Holds a write transaction; rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(const Database& db) : db_(db) { db_.Execute("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (!done_) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    db_.Execute("COMMIT");
    done_ = true;
  }

 private:
  const Database& db_;
  bool done_ = false;
};

}  // namespace pw::platform::sqlite
