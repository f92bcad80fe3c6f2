// The office's window "Станции": its board of stations, the station with
// the oldest last report first and those with no report since
// ReportDeadline marked "!". From it the operator asks the selected
// station for its report (the road of the office window's "Отправить
// запрос") or reads its lines of today's log. Made hidden with the office
// window; closing only hides it. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/board_view.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace pw::office {

class StationBoard;
class TInetOfficeForm;

class TStationsForm : public ui::Window {
 public:
  TStationsForm(TInetOfficeForm& office, StationBoard& board, std::string log_file);
  ~TStationsForm() override;

  // Reads the board afresh, then shows the window.
  void Show() override;

  // Event handlers.
  void RefreshBtnClick();
  void RequestBtnClick();
  void LogBtnClick();

  // Controls, captions in Windows-1251.
  ui::ListView StationList{*this, "StationList"};
  ui::Button RefreshBtn{*this, "RefreshBtn"};
  ui::Button RequestBtn{*this, "RequestBtn"};
  ui::Button LogBtn{*this, "LogBtn"};
  ui::Memo LogLines{*this, "LogLines"};

 private:
  const platform::BoardLine* Selected() const;

  TInetOfficeForm& office_;
  StationBoard& board_;
  const std::string log_file_;
  std::vector<platform::BoardLine> lines_;
};

// The lines of log (a day's log file's bytes) that name station or come
// from address, without their line ends.
std::vector<std::string> StationLogLines(const std::string& log, const std::string& station,
                                         const std::string& address);

}  // namespace pw::office
