#include "interactive/sm_list_form.h"

#include <exception>

#include "services/form_placement.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"
#include "ui/window_frame.h"

namespace pw::interactive {

TSmListForm::TSmListForm() : ui::Window("TSmListForm") {
  caption = "Выбор смены"_w;
  client_width = 412;
  client_height = 433;
  width = ui::kFixedFrame.OuterWidth(client_width);
  height = ui::kFixedFrame.OuterHeight(client_height);
  font = ui::Font{"MS Sans Serif", 8};
  SmList.SetBounds(0, 0, 412, 393);
  SmList.check_boxes = true;
  SmList.grid_lines = true;
  SmList.row_select = true;
  SmList.read_only = true;
  SmList.column_click = false;
  SmList.hide_selection = false;
  SmList.columns = {{std::string("№ смены"_w), 60},
                    {std::string("Время открытия"_w), 120},
                    {std::string("Время закрытия"_w), 120},
                    {std::string("Оператор"_w), 100}};
  OkBtn.SetBounds(240, 402, 75, 25);
  CancelBtn.SetBounds(328, 402, 75, 25);
  OkBtn.caption = "OK";
  CancelBtn.caption = "Отмена"_w;
  OkBtn.on_click = [this] { OkBtnClick(); };
  CancelBtn.on_click = [this] { CancelBtnClick(); };
  TryRestorePlacement(*this);
}

TSmListForm::~TSmListForm() { TrySavePlacement(*this); }

void TSmListForm::OkBtnClick() {
  ui::AssertOnMainThread("TSmListForm::OkBtnClick");
  SelectedShifts.clear();
  try {
    for (const ui::ListView::Row& row : SmList.rows)
      if (row.checked) SelectedShifts.push_back(row.texts.empty() ? std::string() : row.texts[0]);
  } catch (const std::exception&) {
    // What was gathered stays; the choice is still confirmed.
  }
  Accepted = true;
  Hide();
}

void TSmListForm::CancelBtnClick() {
  ui::AssertOnMainThread("TSmListForm::CancelBtnClick");
  Hide();
}

void TSmListForm::SmListCustomDrawItem(const ui::ListView::Row&, bool& default_draw) {
  default_draw = true;
}

void TSmListForm::HandleMessage(const ui::Message& m) {
  ui::AssertOnMainThread("TSmListForm::HandleMessage");
  if (m.msg == kShowMessage) Show();
}

}  // namespace pw::interactive
