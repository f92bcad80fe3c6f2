#include "office/board_watch.h"

#include <utility>

#include "office/station_board.h"

namespace pw::office {

BoardWatch::BoardWatch(const ExchangeServices& services, std::string station, std::string address)
    : board_(services.board), station_(std::move(station)), address_(std::move(address)) {}

void BoardWatch::Follow(ExchangeServices& services) {
  if (!board_) return;
  services.log = [this, log = services.log](std::string_view line) {
    last_line_ = line;
    log(line);
  };
  services.wire = [this, wire = services.wire] {
    WireContext context = wire();
    context.log = [this, log = context.log](std::string_view line, ui::ListBox* list) {
      last_line_ = line;
      log(line, list);
    };
    return context;
  };
}

void BoardWatch::ReportStored(const std::string& file, std::int64_t bytes, double seconds,
                              const std::string& digest) {
  if (board_) board_->ReportStored(station_, address_, file, bytes, seconds, digest);
}

void BoardWatch::RequestSent(const std::string& file, std::int64_t bytes) {
  if (board_) board_->RequestSent(station_, address_, file, bytes);
}

void BoardWatch::Failed() { Failed(last_line_); }

void BoardWatch::Failed(const std::string& line) {
  if (board_) board_->Failed(station_, address_, line);
}

}  // namespace pw::office
