// The shift list dialog: its layout, OK and Cancel, message 1025, and its
// life from Load to UnLoad.
#include "interactive/sm_list_form.h"

#include <gtest/gtest.h>

#include "host/folder_host.h"
#include "process_state.h"
#include "services/settings.h"
#include "shell/lifecycle.h"
#include "shell/plugin_state.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/window.h"

namespace pw::interactive {
namespace {

using Texts = std::vector<std::string>;

class ShiftListTest : public test::ProcessStateTest {
 protected:
  test::TempFolder root;  // the placement file goes here
};

ui::ListView::Row Shift(const std::string& number, bool checked) {
  return {{number, "08:00", "20:00", "Иванов"_w.data()}, checked};
}

TEST_F(ShiftListTest, TheListHasItsColumnsAndOptions) {
  TSmListForm form;
  EXPECT_EQ(form.caption, std::string("Выбор смены"_w));
  EXPECT_EQ(form.client_width, 412);
  EXPECT_EQ(form.client_height, 433);
  EXPECT_FALSE(form.visible);
  ASSERT_EQ(form.SmList.columns.size(), 4u);
  EXPECT_EQ(form.SmList.columns[0].caption, std::string("№ смены"_w));
  EXPECT_EQ(form.SmList.columns[0].width, 60);
  EXPECT_EQ(form.SmList.columns[3].caption, std::string("Оператор"_w));
  EXPECT_EQ(form.SmList.columns[3].width, 100);
  EXPECT_EQ(form.SmList.height, 393);
  EXPECT_TRUE(form.SmList.check_boxes && form.SmList.grid_lines && form.SmList.row_select &&
              form.SmList.read_only);
  EXPECT_FALSE(form.SmList.column_click || form.SmList.hide_selection);
  EXPECT_EQ(form.CancelBtn.caption, std::string("Отмена"_w));
  bool default_draw = false;
  form.SmListCustomDrawItem(Shift("1", false), default_draw);
  EXPECT_TRUE(default_draw);
}

TEST_F(ShiftListTest, OkGathersTheCheckedRowsAnewEachTimeAndCancelKeepsTheChoice) {
  TSmListForm form;
  ui::SendWindowMessage(form, TSmListForm::kShowMessage, 0, 0);
  EXPECT_TRUE(form.visible) << "1025 shows it, not modally";

  form.OkBtn.Click();
  EXPECT_TRUE(form.SelectedShifts.empty()) << "nothing checked";
  EXPECT_TRUE(form.Accepted);
  EXPECT_FALSE(form.visible);

  form.SmList.rows = {Shift("12", true), Shift("13", false), Shift("14", true)};
  form.OkBtn.Click();
  EXPECT_EQ(form.SelectedShifts, (Texts{"12", "14"}));
  form.SmList.rows[0].checked = false;
  form.OkBtn.Click();
  EXPECT_EQ(form.SelectedShifts, (Texts{"14"})) << "a second OK replaces the first choice";

  form.Accepted = false;
  form.SmList.rows[1].checked = true;
  ui::SendWindowMessage(form, TSmListForm::kShowMessage, 0, 0);
  form.CancelBtn.Click();
  EXPECT_FALSE(form.visible);
  EXPECT_FALSE(form.Accepted);
  EXPECT_EQ(form.SelectedShifts, (Texts{"14"}));
}

TEST_F(ShiftListTest, LoadMakesItHiddenAndUnLoadFreesIt) {
  TheSettings().InPort = 0;
  host::FolderHost host{root.path() + "host/", "АЗС 3"_w.data(), 4, [](const std::string&) {}};
  ASSERT_EQ(LoadPlugin(0, kStationMode, &host), 0);
  TSmListForm* form = State().shift_list.get();
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->visible);
  const std::uint64_t id = form->id();
  EXPECT_EQ(UnLoadPlugin(), 0);
  EXPECT_EQ(State().shift_list, nullptr);
  EXPECT_EQ(ui::FindWindowById(id), nullptr);
}

}  // namespace
}  // namespace pw::interactive
