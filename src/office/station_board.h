// The office's record, for its board of stations, of what each station did:
// its contacts, the reports stored and requests sent whole, and its
// failures with their log lines. Written to the board's table in the
// station database (OfficeDB); read back by the "Станции" window.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/board_view.h"
#include "platform/station_board.h"
#include "sync/mutex.h"

namespace pw::office {

// History kept per station, in days.
inline constexpr int kBoardHistoryDays = 30;

class StationBoard {
 public:
  explicit StationBoard(std::string database_folder);

  // Any thread. A board that cannot be written costs its event, never the
  // exchange: the first failure is logged (file only), the next ones are
  // not until a write succeeds again.
  void Contact(const std::string& station, const std::string& address);
  void ReportStored(const std::string& station, const std::string& address, const std::string& file,
                    std::int64_t bytes, double seconds, const std::string& digest);
  void RequestSent(const std::string& station, const std::string& address, const std::string& file,
                   std::int64_t bytes);
  void Failed(const std::string& station, const std::string& address, const std::string& text);

  // The board as it stands, sorted and marked against ReportDeadline.
  std::vector<platform::BoardLine> Lines() const;

  const std::string& database_folder() const { return folder_; }

 private:
  void Record(platform::BoardEvent event);

  const std::string folder_;
  Mutex write_mu_;  // the process's writes take turns, not SQLite's busy waits
  platform::BoardWriter writer_ GUARDED_BY(write_mu_);
  std::atomic<bool> failing_{false};
};

}  // namespace pw::office
