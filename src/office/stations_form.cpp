#include "office/stations_form.h"

#include <cctype>
#include <iterator>
#include <exception>

#include "office/inet_office_form.h"
#include "office/station_board.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "services/form_placement.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"
#include "ui/window_frame.h"

namespace pw::office {

namespace {

constexpr int kClientWidth = 760;
constexpr int kClientHeight = 420;

// Whether line holds address as a whole (10.0.0.1 is not in 10.0.0.15).
bool HoldsAddress(const std::string& line, const std::string& address) {
  for (std::size_t at = line.find(address); at != std::string::npos; at = line.find(address, at + 1)) {
    const std::size_t end = at + address.size();
    const bool starts = at == 0 || !std::isdigit(static_cast<unsigned char>(line[at - 1]));
    const bool ends = end == line.size() || !std::isdigit(static_cast<unsigned char>(line[end]));
    if (starts && ends) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> StationLogLines(const std::string& log, const std::string& station,
                                         const std::string& address) {
  std::vector<std::string> found;
  for (std::size_t at = 0; at < log.size();) {
    std::size_t end = log.find_first_of("\r\n", at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    if (!line.empty() && ((!station.empty() && line.find(station) != std::string::npos) ||
                          (!address.empty() && HoldsAddress(line, address))))
      found.push_back(line);
    at = end + 1;
  }
  return found;
}

TStationsForm::TStationsForm(TInetOfficeForm& office, StationBoard& board, std::string log_file)
    : ui::Window("TStationsForm"), office_(office), board_(board), log_file_(std::move(log_file)) {
  caption = "Станции"_w;
  client_width = kClientWidth;
  client_height = kClientHeight;
  width = ui::kToolWindowFrame.OuterWidth(client_width);
  height = ui::kToolWindowFrame.OuterHeight(client_height);
  font = ui::Font{"Tahoma", 8};
  StationList.SetBounds(0, 0, kClientWidth, 300);
  StationList.grid_lines = true;
  StationList.row_select = true;
  StationList.read_only = true;
  StationList.column_click = false;  // the board's own order
  StationList.hide_selection = false;
  // Room for a time, a stored name and the start of a digest; the last
  // column, the failure's log line, widest.
  constexpr int kWidths[] = {90, 80, 85, 125, 125, 140, 70, 50, 140, 125, 110, 90, 110, 120, 125, 400};
  const std::vector<std::string>& captions = platform::BoardColumns();
  for (std::size_t i = 0; i < captions.size(); ++i)
    StationList.columns.push_back({captions[i], i < std::size(kWidths) ? kWidths[i] : 90});
  RefreshBtn.SetBounds(8, 306, 100, 25);
  RequestBtn.SetBounds(116, 306, 130, 25);
  LogBtn.SetBounds(254, 306, 130, 25);
  RefreshBtn.caption = "Обновить"_w;
  RequestBtn.caption = "Запросить отчет"_w;
  LogBtn.caption = "Журнал за сегодня"_w;
  RefreshBtn.on_click = [this] { RefreshBtnClick(); };
  RequestBtn.on_click = [this] { RequestBtnClick(); };
  LogBtn.on_click = [this] { LogBtnClick(); };
  LogLines.SetBounds(0, 336, kClientWidth, kClientHeight - 336);
  LogLines.read_only = true;
  LogLines.horizontal_scroll = true;
  TryRestorePlacement(*this);
}

TStationsForm::~TStationsForm() { TrySavePlacement(*this); }

void TStationsForm::Show() {
  RefreshBtnClick();
  ui::Window::Show();
}

void TStationsForm::RefreshBtnClick() {
  ui::AssertOnMainThread("TStationsForm::RefreshBtnClick");
  const platform::BoardLine* before = Selected();
  const std::string selected = before != nullptr ? before->station : std::string();
  try {
    lines_ = board_.Lines();
  } catch (const std::exception& e) {
    lines_.clear();
    AddToLog(Text("Не удалось прочитать табло станций: "_w) + text::VisibleText(e.what()), &office_.log);
  }
  std::vector<ui::ListView::Row> rows;
  for (const platform::BoardLine& line : lines_) {
    ui::ListView::Row row;
    for (const std::string& t : line.texts) row.texts.push_back(text::VisibleText(t));
    rows.push_back(std::move(row));
  }
  StationList.rows = std::move(rows);
  // The station selected before stays selected where the new order puts it.
  int index = -1;
  for (std::size_t i = 0; i < lines_.size() && !selected.empty(); ++i)
    if (lines_[i].station == selected) index = static_cast<int>(i);
  StationList.item_index = index;
  LogLines.lines = {};
}

const platform::BoardLine* TStationsForm::Selected() const {
  const int i = StationList.item_index;
  return i >= 0 && static_cast<std::size_t>(i) < lines_.size() ? &lines_[static_cast<std::size_t>(i)]
                                                                : nullptr;
}

void TStationsForm::RequestBtnClick() {
  ui::AssertOnMainThread("TStationsForm::RequestBtnClick");
  const platform::BoardLine* line = Selected();
  if (line == nullptr) return;
  // The address box's own form, "address - label", as the operator would
  // type it: the report request takes the address out of it.
  office_.cb_IP.caption = line->address + " - " + line->station;
  office_.BitBtn1Click();
}

void TStationsForm::LogBtnClick() {
  ui::AssertOnMainThread("TStationsForm::LogBtnClick");
  const platform::BoardLine* line = Selected();
  if (line == nullptr) return;
  std::string log;
  try {
    log = platform::ReadWholeFile(log_file_);
  } catch (const std::exception&) {
    // No log of today yet: no lines.
  }
  std::vector<std::string> found;
  for (const std::string& l : StationLogLines(log, line->station, line->address))
    found.push_back(text::VisibleText(l));
  LogLines.lines = std::move(found);
}

}  // namespace pw::office
