// The shift list dialog "Выбор смены": cashier shifts with a check box per
// row, from which the operator ticks some and confirms. One instance lives
// hidden from Load to UnLoad; closing only hides it. Nothing in the plug-in
// fills the rows or reads the choice: whoever wants a choice of shifts fills
// SmList, shows the dialog (window message 1025) and reads SelectedShifts
// and Accepted. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/window.h"

namespace pw::interactive {

class TSmListForm : public ui::Window {
 public:
  static constexpr std::uint32_t kShowMessage = ui::kWmUser + 1;  // 1025

  TSmListForm();
  ~TSmListForm() override;  // FormDestroy: the placement is kept

  // After OK: the first-column texts of the checked rows, in row order.
  std::vector<std::string> SelectedShifts;
  // True once OK has been pressed; Cancel leaves it as it was.
  bool Accepted = false;

  // Event handlers.
  void OkBtnClick();
  void CancelBtnClick();
  // Every row draws in the default way: nothing to change.
  void SmListCustomDrawItem(const ui::ListView::Row& row, bool& default_draw);

  // 1025 shows the dialog, not modally.
  using ui::Window::HandleMessage;
  void HandleMessage(const ui::Message& m) override;

  // Controls, captions in Windows-1251. Fixed single border.
  ui::ListView SmList{*this, "SmList"};
  ui::Button OkBtn{*this, "OkBtn"};          // the default button
  ui::Button CancelBtn{*this, "CancelBtn"};  // the Esc button
};

}  // namespace pw::interactive
