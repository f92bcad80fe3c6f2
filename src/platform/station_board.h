// The office's board of its stations: what it last heard from each station,
// kept in a table of its own beside the station table, in the same database
// folder (the file Board.sqlite), so it outlives the office's restarts.
//
// Texts are the system's Windows-1251 bytes, stored unconverted. Times are
// local wall-clock texts "YYYY-MM-DD HH:MM:SS", so that their order is the
// order of their texts. The writer keeps the file open (closing it would
// write the log of changes back at every event, a wait for the disk each
// time); readers open it for each read. Failures raise pw::Error: the
// file's path, ": " and SQLite's own text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pw::platform {

// One thing that happened between the office and a station.
struct BoardEvent {
  enum class Kind { kContact, kReport, kRequest, kFailure };
  Kind kind = Kind::kContact;
  std::string station;  // the name the station told
  std::string address;  // its address on that connection
  std::string at;       // when
  // A report stored, or a request sent: its file's name, bytes, and (for a
  // report) seconds on the wire and digest (64 hex digits).
  std::string file;
  std::int64_t bytes = 0;
  double seconds = 0;
  std::string digest;
  std::string text;  // a failure: its log line
};

// What the board keeps: stations met (the longest unheard go first past the
// cap) and each one's events no older than keep_from (a date or a time), at
// most per_kind of each kind (the latest stay: a peer that fails a thousand
// times a minute costs rows of its own, never a station's last report).
struct BoardLimits {
  std::size_t stations = 4096;
  std::size_t per_kind = 100;
  std::string keep_from;
};

struct BoardReport {
  std::string at, file, digest;
  std::int64_t bytes = 0;
  double seconds = 0;
};
struct BoardRequest {
  std::string at, file;
  std::int64_t bytes = 0;
};
struct BoardFailure {
  std::string at, text;
};

// One station's row.
struct BoardRow {
  std::string station, address, last_contact;
  std::optional<BoardReport> report;
  std::optional<BoardRequest> request;
  int ok_today = 0;      // reports stored and requests sent since today_from
  int failed_today = 0;  // failures since today_from
  std::optional<BoardFailure> failure;
};

// The board's file in the database whose folder is database_folder.
std::string BoardFile(const std::string& database_folder);

// The office's writer of the board: one at a time may call Record.
class BoardWriter {
 public:
  explicit BoardWriter(std::string database_folder);
  ~BoardWriter();
  BoardWriter(const BoardWriter&) = delete;
  BoardWriter& operator=(const BoardWriter&) = delete;

  // Records event (one transaction: the station's last contact and address,
  // the event, then what falls outside limits is dropped). Makes the folder,
  // the file and its tables when they are missing; after a failure the file
  // is opened afresh at the next call.
  void Record(const BoardEvent& event, const BoardLimits& limits);

 private:
  struct Open;
  std::string folder_;
  std::unique_ptr<Open> open_;
};

// Every station's row, in no particular order; events at or after
// today_from count as today's. No file yet: no rows.
std::vector<BoardRow> ReadBoard(const std::string& database_folder, const std::string& today_from);

}  // namespace pw::platform
