// Follows one exchange with a station for the office's board: the lines it
// logs (its own and its transfers') pass through here, so that a failure is
// recorded with the last of them, the line an operator would look for.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "office/exchange_services.h"

namespace pw::office {

class StationBoard;

class BoardWatch {
 public:
  // With no board (services.board empty) nothing is recorded.
  BoardWatch(const ExchangeServices& services, std::string station, std::string address);
  BoardWatch(const BoardWatch&) = delete;
  BoardWatch& operator=(const BoardWatch&) = delete;

  // Makes services log through this watch, which must outlive their use.
  void Follow(ExchangeServices& services);
  void set_station(const std::string& station) { station_ = station; }

  void ReportStored(const std::string& file, std::int64_t bytes, double seconds,
                    const std::string& digest);
  void RequestSent(const std::string& file, std::int64_t bytes);
  // A failure told by the last line logged through the watch.
  void Failed();
  void Failed(const std::string& line);

 private:
  std::shared_ptr<StationBoard> board_;
  std::string station_, address_;
  std::string last_line_;  // the exchange's own thread's
};

// Seconds from start until now, for a body's time on the wire.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace pw::office
