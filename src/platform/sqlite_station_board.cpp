// The stations' board over SQLite.
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/sqlite_database.h"
#include "platform/station_board.h"

namespace pw::platform {

using sqlite::Database;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

// Write-ahead logging: a commit per event costs no wait for the disk, and a
// reader (pumpwire-host's "board") never holds up the office's writes.
constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "CREATE TABLE IF NOT EXISTS Stations ("
    " station TEXT PRIMARY KEY, address TEXT NOT NULL, last_contact TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS Events ("
    " station TEXT NOT NULL, at TEXT NOT NULL, kind TEXT NOT NULL,"
    " file TEXT, bytes INTEGER, seconds REAL, digest TEXT, text TEXT);"
    "CREATE INDEX IF NOT EXISTS EventsByStation ON Events (station, kind);"
    "CREATE INDEX IF NOT EXISTS EventsByTime ON Events (at);";

const char* KindWord(BoardEvent::Kind kind) {
  switch (kind) {
    case BoardEvent::Kind::kReport:
      return "report";
    case BoardEvent::Kind::kRequest:
      return "request";
    case BoardEvent::Kind::kFailure:
      return "failure";
    case BoardEvent::Kind::kContact:
      break;
  }
  return "contact";
}

void TouchStation(const Database& db, const BoardEvent& e) {
  Statement upsert(db,
                   "INSERT INTO Stations (station, address, last_contact) VALUES (?1, ?2, ?3) "
                   "ON CONFLICT (station) DO UPDATE SET address = excluded.address, "
                   "last_contact = max(last_contact, excluded.last_contact)");
  upsert.Bind(1, e.station);
  upsert.Bind(2, e.address);
  upsert.Bind(3, e.at);
  upsert.Step();
}

void AddEvent(const Database& db, const BoardEvent& e) {
  Statement insert(db,
                   "INSERT INTO Events (station, at, kind, file, bytes, seconds, digest, text) "
                   "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  insert.Bind(1, e.station);
  insert.Bind(2, e.at);
  insert.Bind(3, std::string(KindWord(e.kind)));
  insert.Bind(4, e.file);
  insert.Bind(5, e.bytes);
  insert.Bind(6, e.seconds);
  insert.Bind(7, e.digest);
  insert.Bind(8, e.text);
  insert.Step();
}

// Old events go; past the cap, the stations unheard the longest go with
// theirs, those with nothing kept but their contact first: a flood of
// handshakes under made-up names does not push out the stations whose
// reports, requests and failures the board is there to show.
// The station's events of event's kind past the cap, oldest first.
void PruneKind(const Database& db, const BoardEvent& event, const BoardLimits& limits) {
  Statement excess(db,
                   "DELETE FROM Events WHERE rowid IN (SELECT rowid FROM Events "
                   "WHERE station = ?1 AND kind = ?2 ORDER BY rowid DESC LIMIT -1 OFFSET ?3)");
  excess.Bind(1, event.station);
  excess.Bind(2, std::string(KindWord(event.kind)));
  excess.Bind(3, static_cast<std::int64_t>(limits.per_kind));
  excess.Step();
}

void Prune(const Database& db, const BoardLimits& limits) {
  Statement old(db, "DELETE FROM Events WHERE at < ?1");
  old.Bind(1, limits.keep_from);
  old.Step();
  std::int64_t stations = 0;
  {
    Statement count(db, "SELECT count(*) FROM Stations");
    if (count.Step()) stations = count.Int(0);
  }
  const auto cap = static_cast<std::int64_t>(limits.stations);
  if (stations <= cap) return;
  std::vector<std::string> gone;
  {
    Statement oldest(db,
                     "SELECT station FROM Stations ORDER BY EXISTS (SELECT 1 FROM Events "
                     "WHERE Events.station = Stations.station), last_contact, station LIMIT ?1");
    oldest.Bind(1, stations - cap);
    while (oldest.Step()) gone.push_back(oldest.Text(0));
  }
  for (const std::string& station : gone) {
    for (const char* sql : {"DELETE FROM Events WHERE station = ?1", "DELETE FROM Stations WHERE station = ?1"}) {
      Statement drop(db, sql);
      drop.Bind(1, station);
      drop.Step();
    }
  }
}

}  // namespace

std::string BoardFile(const std::string& database_folder) {
  std::string file = database_folder;
  if (!file.empty() && file.back() != kPathSeparator) file += kPathSeparator;
  return file + "Board.sqlite";
}

// How long an event waits for another process's lock on the file (a second
// office on the same folder, an operator's SQLite tool): the office's own
// threads take turns before they get here, and a board kept waiting must
// not hold up the exchange, or the main thread, that records the event.
constexpr int kWriterBusyTimeoutMs = 100;

struct BoardWriter::Open {
  explicit Open(const std::string& folder)
      : db(BoardFile(folder), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
    sqlite3_busy_timeout(db.get(), kWriterBusyTimeoutMs);
    db.Execute(kSchema);
  }
  Database db;
};

BoardWriter::BoardWriter(std::string database_folder) : folder_(std::move(database_folder)) {}

BoardWriter::~BoardWriter() = default;

void BoardWriter::Record(const BoardEvent& event, const BoardLimits& limits) {
  try {
    if (!open_) {
      CreateDirectories(folder_);
      open_ = std::make_unique<Open>(folder_);
    }
    const Database& db = open_->db;
    Transaction transaction(db);
    TouchStation(db, event);
    if (event.kind != BoardEvent::Kind::kContact) {
      AddEvent(db, event);
      PruneKind(db, event, limits);
    }
    Prune(db, limits);
    transaction.Commit();
  } catch (...) {
    open_.reset();  // a file removed or replaced meanwhile is found again
    throw;
  }
}

std::vector<BoardRow> ReadBoard(const std::string& database_folder, const std::string& today_from) {
  if (!FileExists(BoardFile(database_folder))) return {};
  Database db(BoardFile(database_folder), SQLITE_OPEN_READONLY);
  std::map<std::string, BoardRow> rows;
  Statement stations(db, "SELECT station, address, last_contact FROM Stations");
  while (stations.Step()) {
    BoardRow& row = rows[stations.Text(0)];
    row.station = stations.Text(0);
    row.address = stations.Text(1);
    row.last_contact = stations.Text(2);
  }
  // Each station's latest event of each kind: the last one written.
  Statement latest(db,
                   "SELECT station, kind, at, file, bytes, seconds, digest, text FROM Events "
                   "WHERE rowid IN (SELECT max(rowid) FROM Events GROUP BY station, kind)");
  while (latest.Step()) {
    const auto it = rows.find(latest.Text(0));
    if (it == rows.end()) continue;
    const std::string kind = latest.Text(1);
    if (kind == "report")
      it->second.report = BoardReport{latest.Text(2), latest.Text(3), latest.Text(6), latest.Int(4),
                                      latest.Real(5)};
    else if (kind == "request")
      it->second.request = BoardRequest{latest.Text(2), latest.Text(3), latest.Int(4)};
    else if (kind == "failure")
      it->second.failure = BoardFailure{latest.Text(2), latest.Text(7)};
  }
  Statement today(db,
                  "SELECT station, sum(kind != 'failure'), sum(kind = 'failure') FROM Events "
                  "WHERE at >= ?1 GROUP BY station");
  today.Bind(1, today_from);
  while (today.Step()) {
    const auto it = rows.find(today.Text(0));
    if (it == rows.end()) continue;
    it->second.ok_today = static_cast<int>(today.Int(1));
    it->second.failed_today = static_cast<int>(today.Int(2));
  }
  std::vector<BoardRow> result;
  result.reserve(rows.size());
  for (auto& [station, row] : rows) result.push_back(std::move(row));
  return result;
}

}  // namespace pw::platform
