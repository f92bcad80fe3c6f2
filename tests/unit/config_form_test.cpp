// The settings dialog as a model: its layout, the filling from memory and
// cnf.INI, its rules, and what "Применить" and "Отменить" leave in memory and
// in the file. The listener's move is tested over real sockets with the
// connection windows (settings_dialog_test in the protocol suite).
#include "settings/config_form.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/ini_file.h"
#include "process_state.h"
#include "services/settings.h"
#include "temp_folder.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw::settings {
namespace {

using Entries = std::vector<std::string>;

std::string W(std::string_view cp1251) { return std::string(cp1251); }

class ConfigFormTest : public test::ProcessStateTest {
 protected:
  ConfigFormTest() {
    ui::Operator::instance().SetObserver(
        [this](const std::string&, const std::string& text, ui::Answer) { boxes.push_back(text); });
  }

  // A dialog filled as on showing.
  std::unique_ptr<TConfigForm> Opened(std::uint8_t mode = kStationMode, Entries entries = {},
                                      bool library = false) {
    ConfigFormContext c;
    c.mode = mode;
    c.library_present = library;
    c.phonebook_entries = [entries] { return entries; };
    auto form = std::make_unique<TConfigForm>(std::move(c));
    form->FormShow();
    return form;
  }
  std::string Ini() const { return test::ReadFile(IniFilePath()); }
  std::string Key(const std::string& key) const {
    return IniFile(IniFilePath()).ReadString("Inet", key, "<none>");
  }

  test::TempFolder root;
  Settings& s = TheSettings();
  std::vector<std::string> boxes;
};

// Each control lies inside the room of what holds it (a page loses its tab
// row and frame to the page control), and no two controls of one page or
// group cover each other, save a number box laid over its label's blanks.
TEST_F(ConfigFormTest, EveryControlSitsInsideItsPageOrGroupWithoutCoveringAnother) {
  auto form = Opened(kOfficeMode);
  constexpr int kPageFrameWidth = 8, kPageFrameHeight = 28;
  const auto is_page = [](const ui::Control* c) { return dynamic_cast<const ui::TabSheet*>(c) != nullptr; };
  for (ui::Control* c : form->controls()) {
    SCOPED_TRACE(c->name());
    if (is_page(c)) continue;  // a page fills its page control
    EXPECT_GT(c->width, 0);
    EXPECT_GT(c->height, 0);
    EXPECT_GE(c->left, 0);
    EXPECT_GE(c->top, 0);
    int room_w = form->client_width, room_h = form->client_height;
    if (c->parent != nullptr && is_page(c->parent)) {
      room_w = form->PageControl1.width - kPageFrameWidth;
      room_h = form->PageControl1.height - kPageFrameHeight;
    } else if (c->parent != nullptr) {
      room_w = c->parent->width;
      room_h = c->parent->height;
    }
    EXPECT_LE(c->left + c->width, room_w);
    EXPECT_LE(c->top + c->height, room_h);
  }
  const auto is_label = [](const ui::Control* c) { return dynamic_cast<const ui::Label*>(c) != nullptr; };
  const auto& all = form->controls();
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      const ui::Control& a = *all[i];
      const ui::Control& b = *all[j];
      if (a.parent != b.parent || is_page(&a) || is_label(&a) || is_label(&b)) continue;
      const bool apart = a.left + a.width <= b.left || b.left + b.width <= a.left ||
                         a.top + a.height <= b.top || b.top + b.height <= a.top;
      EXPECT_TRUE(apart) << a.name() << " covers " << b.name();
    }
  EXPECT_EQ(form->PageControl1.width, 296);
  EXPECT_LE(form->BitBtn1.top + form->BitBtn1.height, 318);
  // The number boxes stand between their labels' words and units.
  EXPECT_EQ(form->se_ReadTimeOut.top, form->Label4.top - 4);
  EXPECT_GT(form->se_ReadTimeOut.left, form->Label4.left);
  EXPECT_LT(form->se_ReadTimeOut.left + form->se_ReadTimeOut.width, form->Label4.left + form->Label4.width);
  // Only an item can be chosen in the dialog's boxes.
  EXPECT_FALSE(form->cbInternet.editable);
  EXPECT_FALSE(form->cbQuality.editable);
}

TEST_F(ConfigFormTest, TheLayoutKeepsItsTextsBlanksHintsAndRanges) {
  auto form = Opened();
  EXPECT_EQ(form->caption, W("Настройка прямого IP соединения"_w));
  EXPECT_EQ(form->client_width, 296);
  EXPECT_EQ(form->client_height, 318);
  EXPECT_EQ(form->TabSheet1.caption, W("Параметры"_w));
  EXPECT_EQ(form->TabSheet2.caption, W("Подключение к интернету"_w));
  EXPECT_EQ(form->TabSheet3.caption, W("Интерактив"_w));
  // The labels pad their units to a column with blanks.
  EXPECT_EQ(form->Label4.caption, W("Время ожидания ответа"_w) + std::string(46, ' ') + W("сек."_w));
  EXPECT_EQ(form->Label6.caption, W("Размер пакета"_w) + std::string(36, ' ') + W("байт"_w));
  EXPECT_EQ(form->cbUseDefaultConn.caption, W("Использовать подключение по умолчанию "_w));
  const std::string& hint = form->cbUseFastDataTravel.hint;
  EXPECT_EQ(hint.substr(0, 56 + 13), std::string(56, ' ') + W("ВНИМАНИЕ!!!!!"_w));
  EXPECT_NE(hint.find(W("связываемых \r\nкомпьютерах"_w)), std::string::npos);
  EXPECT_EQ(form->seInetBuffSize.hint->substr(form->seInetBuffSize.hint->rfind("\r\n") + 2),
            W("для DSL модема и выделеной линии - 256000 - 4096000 байт"_w));
  EXPECT_EQ(form->edIntPassword.password_char, '*');
  EXPECT_EQ(form->cbQuality.items, (Entries{"1", "4", "8", "15", "16", "24", "32"}));
  EXPECT_EQ(form->tbJPGcompress.frequency, 5);
  EXPECT_FALSE(form->se_clie_port.HasRange());
  EXPECT_EQ(form->se_ReadTimeOut.min_value, -1);
  EXPECT_EQ(form->seTVRefresh.max_value, 99999990);
  EXPECT_EQ(form->BitBtn1.caption, W("Применить"_w));
  EXPECT_EQ(form->BitBtn2.caption, W("Отменить"_w));
}

TEST_F(ConfigFormTest, TimeOutsShowInRoundedSecondsAndReadTimeOutKeepsItsNoLimit) {
  s.ReadTimeOut = -1;
  s.ZaprosTimeOut = 2500;    // a tie goes to the even second
  s.ConnectTimeOut = 10600;
  auto form = Opened();
  EXPECT_EQ(form->se_ReadTimeOut.value, 0);
  EXPECT_EQ(form->se_ZaprosTimeOut.value, 2);
  EXPECT_EQ(form->se_connectTimeOut.value, 11);
  form->Apply();
  EXPECT_EQ(s.ReadTimeOut, 0) << "-1 shown as 0 is stored as 0";
  EXPECT_EQ(Key("ReadTimeOut"), "0");
  EXPECT_EQ(s.ConnectTimeOut, 11000);

  form->se_ReadTimeOut.value = -1;
  form->Apply();
  EXPECT_EQ(s.ReadTimeOut, -1);
  EXPECT_EQ(Key("ReadTimeOut"), "-1");
}

TEST_F(ConfigFormTest, ValuesTypedOutsideTheirRangesAreBroughtIntoThem) {
  auto form = Opened();
  form->se_ReadTimeOut.value = -40;
  form->se_ZaprosTimeOut.value = 1;
  form->se_connectTimeOut.value = 99999;
  form->cbUseFastDataTravel.checked = true;
  form->seInetBuffSize.value = 5000000.4;
  form->seTVRefresh.value = 3;
  form->Apply();
  EXPECT_EQ(s.ReadTimeOut, -1);
  EXPECT_EQ(s.ZaprosTimeOut, 5000);
  EXPECT_EQ(s.ConnectTimeOut, 3000000);
  EXPECT_EQ(s.InetBuffSize, 5000000);
  EXPECT_EQ(s.e_TVrefresh, 10);

  form->seInetBuffSize.value = 12;
  form->se_ZaprosTimeOut.value = 1e12;
  form->seTVRefresh.value = 99999990;  // admitted by the box, more than 16 bits hold
  form->Apply();
  EXPECT_EQ(s.InetBuffSize, 96);
  EXPECT_EQ(s.ZaprosTimeOut, 15000000);
  EXPECT_EQ(s.e_TVrefresh, 65535);
  EXPECT_EQ(Key("e_TVrefresh"), "65535");

  // Ports no socket can use come to the nearest that can; a login typed
  // with blanks at its ends is stored without them, as the file gives it back.
  form->se_clie_port.value = 99999999;
  form->se_srv_port.value = -5;
  form->edIntLogin.caption = " bob ";
  form->edIntPassword.caption = "sec ret";
  form->Apply();
  EXPECT_EQ(Key("OutPort"), "65535");
  EXPECT_EQ(Key("InPort"), "0");
  EXPECT_EQ(Key("IntLogin"), "bob");
  auto again = Opened();
  EXPECT_EQ(again->edIntPassword.caption, "sec ret");
}

TEST_F(ConfigFormTest, TheFastTransferBoxSetsTheSizeButOpeningShowsTheStoredOne) {
  s.useFastDatTravel = true;
  s.InetBuffSize = 4096;
  auto form = Opened();
  EXPECT_EQ(form->seInetBuffSize.value, 4096);
  EXPECT_TRUE(form->seInetBuffSize.enabled && form->Label6.enabled);

  form->cbUseFastDataTravel.checked = false;
  form->cbUseFastDataTravel.on_click();
  EXPECT_EQ(form->seInetBuffSize.value, 128);
  EXPECT_FALSE(form->seInetBuffSize.enabled || form->Label6.enabled);
  form->cbUseFastDataTravel.checked = true;
  form->cbUseFastDataTravel.on_click();
  EXPECT_EQ(form->seInetBuffSize.value, 256000);
  EXPECT_TRUE(form->seInetBuffSize.enabled);

  s.useFastDatTravel = false;
  s.InetBuffSize = 4096;
  form = Opened();
  EXPECT_EQ(form->seInetBuffSize.value, 4096) << "stored, though the rule set 128";
  EXPECT_FALSE(form->seInetBuffSize.enabled);
}

TEST_F(ConfigFormTest, ThePhonebookListChoosesTheStoredEntryIgnoringCaseOrTheFirst) {
  test::WriteFile(IniFilePath(), W("[Inet]\r\nPhonebookEntry=офис\r\n"_w));
  auto form = Opened(kStationMode, {W("Модем"_w), W("ОФИС"_w)});
  EXPECT_EQ(form->cbInternet.caption, W("ОФИС"_w));
  form->Apply();
  EXPECT_EQ(s.PhonebookEntry.get(), W("ОФИС"_w));

  test::WriteFile(IniFilePath(), W("[Inet]\r\nPhonebookEntry=Удалённое\r\n"_w));
  form = Opened(kStationMode, {W("Модем"_w), W("Офис"_w)});
  EXPECT_EQ(form->cbInternet.item_index, 0);
  form->Apply();
  EXPECT_EQ(Key("PhonebookEntry"), W("Модем"_w)) << "the first entry, stored";

  form = Opened(kStationMode, {});
  EXPECT_TRUE(form->cbInternet.items.empty());
  EXPECT_EQ(form->cbInternet.caption, "");
  form->Apply();
  EXPECT_EQ(Key("PhonebookEntry"), "");
  EXPECT_EQ(s.PhonebookEntry.get(), "");
}

TEST_F(ConfigFormTest, AnErrorWhileFillingStopsTheFillingAndTheDialogStillOpens) {
  s.e_TVrefresh = 500;
  ConfigFormContext c;
  c.phonebook_entries = []() -> Entries { throw Error("no phonebook"); };
  TConfigForm form(std::move(c));
  s.InPort = 7001;
  form.FormShow();
  EXPECT_EQ(form.se_srv_port.value, 7001) << "filled before the phonebook";
  EXPECT_EQ(form.seTVRefresh.value, 0) << "after it: as designed";
  EXPECT_TRUE(form.TabSheet3.tab_visible);
}

TEST_F(ConfigFormTest, ConnectionKeysAreReadAgainFromTheFileAndTheirRulesApply) {
  test::WriteFile(IniFilePath(), "[Inet]\r\nUseDefautConnection=1\r\nUserData=0\r\nIntLogin=user\r\n"
                                 "IntPassword=" + EncodePassword("user", "pw") + "\r\n");
  auto form = Opened(kStationMode, {}, /*library=*/false);
  EXPECT_TRUE(form->cbUseDefaultConn.checked);
  EXPECT_FALSE(form->cbUseDefaultConn.enabled) << "no connection library";
  EXPECT_FALSE(form->GroupBox6.visible);
  EXPECT_FALSE(form->cbInternet.Reachable()) << "inside the hidden group";
  EXPECT_EQ(form->edIntLogin.caption, "user");
  EXPECT_EQ(form->edIntPassword.caption, "pw");
  EXPECT_FALSE(form->edIntLogin.enabled || form->edIntPassword.enabled || form->Label9.enabled ||
               form->Label10.enabled);
  EXPECT_EQ(form->edIntLogin.color, ui::kColorBtnFace);

  form->cbUserData.checked = true;
  form->cbUserData.on_click();
  EXPECT_TRUE(form->edIntLogin.enabled && form->edIntPassword.enabled && form->Label10.enabled);
  EXPECT_EQ(form->edIntPassword.color, ui::kColorWindow);
  form->cbUseDefaultConn.checked = false;
  form->cbUseDefaultConn.on_click();
  EXPECT_TRUE(form->GroupBox6.visible);

  form = Opened(kStationMode, {}, /*library=*/true);
  EXPECT_TRUE(form->cbUseDefaultConn.enabled);
}

TEST_F(ConfigFormTest, ApplyWritesTheKeysInOrderScramblingTheDialUpPasswordOnly) {
  const std::string before = "[Inet]\r\nIPs=10.0.0.1\t\r\nPasswordEnable=1\r\nPassword=6E767E727174\r\n";
  test::WriteFile(IniFilePath(), before);
  s.PasswordEnable = false;  // in memory only: the dialog never writes these
  s.Password.set("other");
  auto form = Opened(kOfficeMode);
  form->edIntLogin.caption = "login";
  form->edIntPassword.caption = W("Пароль"_w);
  form->se_clie_port.value = 7100;
  form->Apply();
  const std::string ini = Ini();
  ASSERT_EQ(ini.substr(0, before.size()), before);
  const char* order[] = {"UseDefautConnection", "PhonebookEntry", "DisconnectOnEnd", "UserData",
                         "IntLogin", "ShowDialUp", "IntPassword", "ZaprosTimeOut", "ReadTimeOut",
                         "ConnectTimeOut", "OutPort", "InPort", "showWND", "useFastDatTravel",
                         "InetBuffSize", "e_TVrefresh", "e_ScrSHOTquality", "e_TypeTV",
                         "e_JPGcompress"};
  std::size_t at = before.size();
  for (const char* key : order) {
    const std::size_t found = ini.find(std::string("\r\n") + key + "=", at - 2);
    ASSERT_NE(found, std::string::npos) << key << " in order";
    at = found + 2;
  }
  EXPECT_EQ(Key("IntPassword"), EncodePassword("login", W("Пароль"_w)));
  EXPECT_EQ(Key("OutPort"), "7100");
  EXPECT_EQ(s.IntPassword.get(), W("Пароль"_w));
}

TEST_F(ConfigFormTest, PictureSettingsAndADepthThatIsNoneOfTheItems) {
  s.e_ScrSHOTquality = 12;
  s.e_TypeTV = 7;  // any value but 1 is JPG
  s.e_JPGcompress = 40;
  auto form = Opened(kOfficeMode);
  EXPECT_EQ(form->cbQuality.item_index, -1);
  EXPECT_EQ(form->cbQuality.caption, "");
  EXPECT_TRUE(form->rbJPG.checked && !form->rbGIF.checked);
  EXPECT_TRUE(form->tbJPGcompress.enabled && form->Label8.enabled);
  EXPECT_EQ(form->tbJPGcompress.position(), 40);
  form->Apply();
  EXPECT_EQ(s.e_ScrSHOTquality, 12) << "nothing shown: the stored depth stays";
  EXPECT_EQ(Key("e_ScrSHOTquality"), "12");
  EXPECT_EQ(s.e_TypeTV, 0);

  form->rbGIF.Click();
  EXPECT_FALSE(form->rbJPG.checked);
  EXPECT_FALSE(form->tbJPGcompress.enabled || form->Label8.enabled);
  form->cbQuality.Select(5);
  form->Apply();
  EXPECT_EQ(s.e_ScrSHOTquality, 24);
  EXPECT_EQ(s.e_TypeTV, 1);
}

TEST_F(ConfigFormTest, TheInteractiveTabAndTheShowWindowBoxDependOnTheMode) {
  auto station = Opened(kStationMode);
  EXPECT_FALSE(station->TabSheet3.tab_visible || station->TabSheet3.enabled);
  EXPECT_TRUE(station->cb_ShowWND.enabled);
  EXPECT_FALSE(station->cbQuality.Reachable()) << "its controls are out of reach";
  EXPECT_TRUE(station->cb_ShowWND.Reachable());
  auto office = Opened(kOfficeMode);
  EXPECT_TRUE(office->TabSheet3.tab_visible && office->TabSheet3.enabled);
  EXPECT_FALSE(office->cb_ShowWND.enabled);
  EXPECT_TRUE(office->cbQuality.Reachable());
  EXPECT_FALSE(office->tbJPGcompress.Reachable()) << "GIF is the stored format";
}

TEST_F(ConfigFormTest, ItsButtonsCloseItAndOnlyApplyingChangesAnything) {
  ui::Operator& op = ui::Operator::instance();
  ConfigFormContext c;
  {
    TConfigForm form(c);
    op.SetModalObserver([&](ui::Window& w) {
      EXPECT_EQ(&w, &form);
      form.se_clie_port.value = 7200;
      form.BitBtn2.Click();
    });
    op.QueueAnswer(ui::Answer::Ok);  // the button wins over the queued answer
    EXPECT_EQ(form.ShowModal(), ui::Answer::Cancel);
    EXPECT_FALSE(form.visible);
  }
  EXPECT_EQ(s.OutPort, 6090);
  EXPECT_EQ(test::ReadFile(IniFilePath()), "") << "no file written";
  {
    TConfigForm form(c);
    op.SetModalObserver([&](ui::Window&) {
      form.se_clie_port.value = 7200;
      form.BitBtn1.Click();
    });
    EXPECT_EQ(form.ShowModal(), ui::Answer::Ok);
  }
  EXPECT_EQ(s.OutPort, 7200);
  EXPECT_EQ(Key("OutPort"), "7200");
}

TEST_F(ConfigFormTest, AFileThatCannotBeWrittenStaysWholeAndTheOperatorIsTold) {
  const std::string before = "[Inet]\r\nOutPort=6090\r\nIntLogin=old\r\n";
  test::WriteFile(IniFilePath(), before);
  auto form = Opened();
  form->se_clie_port.value = 7300;
  form->edIntLogin.caption = "two\r\nlines";  // no INI line can hold it
  form->Apply();
  EXPECT_EQ(Ini(), before) << "not one key of the batch written";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind(W("Не удалось сохранить настройки в файл "_w), 0), 0u) << boxes[0];
  EXPECT_EQ(s.OutPort, 7300) << "memory holds the new values";
}

}  // namespace
}  // namespace pw::settings
