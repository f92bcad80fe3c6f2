#include "office/station_board.h"

#include <exception>
#include <utility>

#include "platform/clock.h"
#include "services/event_log.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

using platform::BoardEvent;

StationBoard::StationBoard(std::string database_folder)
    : folder_(std::move(database_folder)), writer_(folder_) {}

namespace {

BoardEvent Event(BoardEvent::Kind kind, const std::string& station, const std::string& address) {
  BoardEvent event;
  event.kind = kind;
  event.station = station;
  event.address = address;
  return event;
}

}  // namespace

void StationBoard::Contact(const std::string& station, const std::string& address) {
  Record(Event(BoardEvent::Kind::kContact, station, address));
}

void StationBoard::ReportStored(const std::string& station, const std::string& address,
                                const std::string& file, std::int64_t bytes, double seconds,
                                const std::string& digest) {
  BoardEvent event = Event(BoardEvent::Kind::kReport, station, address);
  event.file = file;
  event.bytes = bytes;
  event.seconds = seconds;
  event.digest = digest;
  Record(std::move(event));
}

void StationBoard::RequestSent(const std::string& station, const std::string& address,
                               const std::string& file, std::int64_t bytes) {
  BoardEvent event = Event(BoardEvent::Kind::kRequest, station, address);
  event.file = file;
  event.bytes = bytes;
  Record(std::move(event));
}

void StationBoard::Failed(const std::string& station, const std::string& address,
                          const std::string& text) {
  BoardEvent event = Event(BoardEvent::Kind::kFailure, station, address);
  event.text = text;
  Record(std::move(event));
}

void StationBoard::Record(BoardEvent event) {
  const platform::LocalTime now = platform::Now();
  event.at = platform::BoardTime(now);
  platform::BoardLimits limits;
  limits.keep_from = platform::BoardDay(now, kBoardHistoryDays);
  try {
    {
      MutexLock lock(write_mu_);
      writer_.Record(event, limits);
    }
    failing_.store(false);
  } catch (const std::exception& e) {
    if (failing_.exchange(true)) return;
    try {
      AddToLog(Text("Не удалось записать табло станций: "_w) + text::VisibleText(e.what()));
    } catch (const std::exception&) {
      // The log cannot be written either: the event is lost, nothing more.
    }
  }
}

std::vector<platform::BoardLine> StationBoard::Lines() const {
  return platform::CurrentBoardLines(folder_, TheSettings().ReportDeadline.get());
}

}  // namespace pw::office
