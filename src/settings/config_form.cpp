#include "settings/config_form.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

#include "platform/error.h"
#include "platform/ini_file.h"
#include "services/event_log.h"
#include "services/form_placement.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "text/trim.h"
#include "ui/dispatcher.h"
#include "ui/window_frame.h"

namespace pw::settings {

namespace {

constexpr const char* kQualityItems[] = {"1", "4", "8", "15", "16", "24", "32"};
constexpr std::int32_t kFastBuffSize = 256000;
constexpr std::int32_t kSlowBuffSize = 128;

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) {
    if (!out.empty()) out += "\r\n";
    out += line;
  }
  return out;
}

// Milliseconds shown as whole seconds, the nearest (a tie to the even one).
double Seconds(std::int32_t ms) { return std::nearbyint(ms / 1000.0); }

void SetRange(ui::SpinEdit& spin, double min, double max) {
  spin.min_value = min;
  spin.max_value = max;
}

// The number shown in a drop-down list, or nothing when it shows none.
std::optional<std::int32_t> ShownNumber(const ui::ComboBox& box) {
  std::int32_t n = 0;
  const std::string& t = box.caption;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return n;
}

}  // namespace

TConfigForm::TConfigForm(ConfigFormContext context)
    : ui::Window("TConfigForm"), context_(std::move(context)) {
  caption = "Настройка прямого IP соединения"_w;
  dialog_border = true;
  client_width = 296;
  client_height = 318;
  width = ui::kFixedFrame.OuterWidth(client_width);
  height = ui::kFixedFrame.OuterHeight(client_height);
  PageControl1.SetBounds(0, 0, 296, 281);
  BitBtn1.SetBounds(64, 288, 100, 25);
  BitBtn2.SetBounds(176, 288, 100, 25);

  TabSheet1.caption = "Параметры"_w;
  Label1.caption = "Порт для исходящего подключения"_w;
  Label2.caption = "Порт для входящего соединения"_w;
  Label3.caption = "Врямя ожидания обработки запроса                         сек."_w;
  SetRange(se_ZaprosTimeOut, 5, 15000);
  Label4.caption = "Время ожидания ответа                                              сек."_w;
  SetRange(se_ReadTimeOut, -1, 3000);
  Label5.caption = "Ожидания ответа исход. подключения                      сек."_w;
  SetRange(se_connectTimeOut, 0, 3000);
  cb_ShowWND.caption = "Показывать окно при автоматической отправке"_w;
  cbUseFastDataTravel.caption = "Использовать ускоренную передачу данных"_w;
  cbUseFastDataTravel.hint = Lines({
      "                                                        ВНИМАНИЕ!!!!!"_w,
      "При использовании, убедитесь, что на обоих связываемых "_w,
      "компьютерах включена данная функция."_w,
      "Использование данной функции отключает возможность"_w,
      "контролировать прием данных на принимающей стороне."_w,
      "Контроль доставки пакетов перекладывается на ОС."_w,
  });
  Label6.caption = "Размер пакета                                    байт"_w;
  SetRange(seInetBuffSize, 96, 5000000);
  seInetBuffSize.hint = Lines({
      "Внимание!!!"_w,
      "Размер пакета нужно подбирать в зависимости от"_w,
      "скорости канала передачи данных, например:"_w,
      "для сотового модема лучше ставить 128 - 2048 байт"_w,
      "для DSL модема и выделеной линии - 256000 - 4096000 байт"_w,
  });

  TabSheet2.caption = "Подключение к интернету"_w;
  cbUseDefaultConn.caption = "Использовать подключение по умолчанию "_w;
  cbUseDefaultConn.hint = "настраивается в связь->настройка->Подключение к интернету"_w;
  GroupBox6.caption = "При соединении с Интернет использовать"_w;
  cbShowDialUp.caption = "Показать окно Подключение к Internet"_w;
  cbDisconnect.caption = "Разрывать связь по окончании передачи"_w;
  cbUserData.caption = "Не исп-ть данные Windows для аутентификации"_w;
  GroupBox7.caption = "Данные для аутентификации"_w;
  Label9.caption = "Пользователь"_w;
  Label10.caption = "Пароль"_w;
  edIntPassword.password_char = '*';

  TabSheet3.caption = "Интерактив"_w;
  Label7.caption = "Качество скриншотов/ТВ                                     бит"_w;
  for (const char* item : kQualityItems) cbQuality.items.emplace_back(item);
  GroupBox8.caption = "Слежение за АЗС (ТВ АЗС)"_w;
  Label11.caption = "Период обновления кадров с АЗС                         мс"_w;
  SetRange(seTVRefresh, 10, 99999990);
  rbGIF.caption = "Передача в формате GIF"_w;
  rbJPG.caption = "Передача в формате JPG"_w;
  rbGIF.group = rbJPG.group = "TV";
  Label8.caption = "Мин размер                                    макс качество"_w;
  tbJPGcompress.min = 5;
  tbJPGcompress.max = 100;
  tbJPGcompress.frequency = 5;

  // Where each control sits: its page, and the group boxes within them.
  const auto place = [](ui::Control& parent, std::initializer_list<ui::Control*> children) {
    for (ui::Control* c : children) c->parent = &parent;
  };
  place(PageControl1, {&TabSheet1, &TabSheet2, &TabSheet3});
  place(TabSheet1, {&Label1, &se_clie_port, &Label2, &se_srv_port, &Label3, &se_ZaprosTimeOut,
                    &Label4, &se_ReadTimeOut, &Label5, &se_connectTimeOut, &cb_ShowWND,
                    &cbUseFastDataTravel, &Label6, &seInetBuffSize});
  place(TabSheet2, {&cbUseDefaultConn, &GroupBox6});
  place(GroupBox6, {&cbInternet, &cbShowDialUp, &cbDisconnect, &cbUserData, &GroupBox7});
  place(GroupBox7, {&Label9, &edIntLogin, &Label10, &edIntPassword});
  place(TabSheet3, {&Label7, &cbQuality, &GroupBox8});
  place(GroupBox8, {&Label11, &seTVRefresh, &rbGIF, &rbJPG, &Label8, &tbJPGcompress});
  cbInternet.editable = false;
  cbQuality.editable = false;
  LayOut();

  BitBtn1.caption = "Применить"_w;
  BitBtn2.caption = "Отменить"_w;

  cbUseFastDataTravel.on_click = [this] { cbUseFastDataTravelClick(); };
  rbGIF.on_click = [this] { rbGIFClick(); };
  rbJPG.on_click = [this] { rbJPGClick(); };
  cbUserData.on_click = [this] { cbUserDataClick(); };
  cbUseDefaultConn.on_click = [this] { cbUseDefaultConnClick(); };
  BitBtn1.on_click = [this] { BitBtn1Click(); };
  BitBtn2.on_click = [this] { BitBtn2Click(); };

  TryRestorePlacement(*this);
}

TConfigForm::~TConfigForm() = default;

// Bounds are in the parent's coordinates: a page's from its top left corner,
// a group box's from its own. The labels whose units stand after a run of
// blanks have their number box laid over those blanks, so every unit reads
// after its number.
void TConfigForm::LayOut() {
  // "Параметры": a column of number boxes, each on its label's line.
  constexpr int kLabelWidth = 278, kNumberLeft = 196, kNumberWidth = 56;
  int y = 8;
  const std::pair<ui::Label*, ui::SpinEdit*> rows[] = {
      {&Label1, &se_clie_port},     {&Label2, &se_srv_port},    {&Label3, &se_ZaprosTimeOut},
      {&Label4, &se_ReadTimeOut}, {&Label5, &se_connectTimeOut}};
  for (auto [label, number] : rows) {
    label->SetBounds(6, y + 4, kLabelWidth, 13);
    number->SetBounds(kNumberLeft, y, kNumberWidth, 21);
    y += 26;
  }
  cb_ShowWND.SetBounds(6, 142, kLabelWidth, 17);
  cbUseFastDataTravel.SetBounds(6, 164, kLabelWidth, 17);
  Label6.SetBounds(6, 192, 210, 13);
  seInetBuffSize.SetBounds(100, 188, 76, 21);

  // "Подключение к интернету".
  cbUseDefaultConn.SetBounds(6, 8, kLabelWidth, 17);
  GroupBox6.SetBounds(6, 30, 276, 190);
  cbInternet.SetBounds(8, 18, 260, 21);
  cbShowDialUp.SetBounds(8, 44, 260, 17);
  cbDisconnect.SetBounds(8, 62, 260, 17);
  cbUserData.SetBounds(8, 80, 260, 17);
  GroupBox7.SetBounds(8, 102, 260, 78);
  Label9.SetBounds(10, 22, 80, 13);
  edIntLogin.SetBounds(96, 18, 154, 21);
  Label10.SetBounds(10, 50, 80, 13);
  edIntPassword.SetBounds(96, 46, 154, 21);

  // "Интерактив": the slider under the label that names its two ends.
  Label7.SetBounds(6, 12, 260, 13);
  cbQuality.SetBounds(150, 8, 80, 21);
  GroupBox8.SetBounds(6, 38, 276, 154);
  Label11.SetBounds(8, 22, 260, 13);
  seTVRefresh.SetBounds(178, 18, 66, 21);
  rbGIF.SetBounds(8, 50, 200, 17);
  rbJPG.SetBounds(8, 70, 200, 17);
  Label8.SetBounds(8, 96, 260, 13);
  tbJPGcompress.SetBounds(4, 112, 248, 32);
}

ui::Answer TConfigForm::ShowModal() {
  FormShow();
  const ui::Answer answer = ui::Operator::instance().ShowModal(*this);
  TrySavePlacement(*this);
  if (answer == ui::Answer::Ok) Apply();
  return answer;
}

void TConfigForm::FormShow() {
  ui::AssertOnMainThread("TConfigForm::FormShow");
  try {
    ReadDialogConnectionSettings(IniFile(IniFilePath()), TheSettings());
  } catch (const std::exception&) {
    // An unreadable file: the dialog shows the values in memory.
  }
  try {
    FillControls();
  } catch (const std::exception&) {
    // The controls not reached keep their designed state.
  }
}

void TConfigForm::FillControls() {
  const Settings& s = TheSettings();
  cbUseDefaultConn.checked = s.UseDefautConnection;
  cbUseDefaultConn.enabled = context_.library_present;
  GroupBox6.visible = !cbUseDefaultConn.checked;

  cbDisconnect.checked = s.DisconnectOnEnd;
  cbUserData.checked = s.UserData;
  edIntLogin.caption = s.IntLogin.get();
  edIntPassword.caption = s.IntPassword.get();
  cbShowDialUp.checked = s.ShowDialUp;

  se_ZaprosTimeOut.value = Seconds(s.ZaprosTimeOut);
  se_ReadTimeOut.value = Seconds(s.ReadTimeOut);
  se_connectTimeOut.value = Seconds(s.ConnectTimeOut);

  se_clie_port.value = s.OutPort;
  se_srv_port.value = s.InPort;
  cb_ShowWND.checked = s.showWND;
  cbUseFastDataTravel.checked = s.useFastDatTravel;
  cbUseFastDataTravelClick();
  seInetBuffSize.value = s.InetBuffSize;  // the stored size, not the rule's

  if (context_.mode == kOfficeMode) cb_ShowWND.enabled = false;
  cbUserDataClick();

  cbInternet.items = context_.phonebook_entries ? context_.phonebook_entries()
                                                : std::vector<std::string>{};
  if (!cbInternet.items.empty()) {
    const std::string entry = s.PhonebookEntry.get();
    int chosen = 0;
    for (std::size_t i = 0; i < cbInternet.items.size(); ++i)
      if (text::same_ignoring_case(cbInternet.items[i], entry)) {
        chosen = static_cast<int>(i);
        break;
      }
    cbInternet.Select(chosen);
  }

  seTVRefresh.value = s.e_TVrefresh;
  const std::string quality = std::to_string(s.e_ScrSHOTquality);
  cbQuality.item_index = -1;
  cbQuality.caption.clear();
  for (std::size_t i = 0; i < cbQuality.items.size(); ++i)
    if (cbQuality.items[i] == quality) cbQuality.Select(static_cast<int>(i));
  rbGIF.checked = s.e_TypeTV == 1;
  rbJPG.checked = !rbGIF.checked;
  tbJPGcompress.SetPosition(s.e_JPGcompress);

  if (context_.mode == kStationMode) {
    TabSheet3.enabled = false;
    TabSheet3.tab_visible = false;
  }
  rbGIFClick();
}

void TConfigForm::cbUseFastDataTravelClick() {
  const bool on = cbUseFastDataTravel.checked;
  Label6.enabled = on;
  seInetBuffSize.enabled = on;
  seInetBuffSize.value = on ? kFastBuffSize : kSlowBuffSize;
}

void TConfigForm::rbGIFClick() {
  tbJPGcompress.enabled = rbJPG.checked;
  Label8.enabled = rbJPG.checked;
}

void TConfigForm::rbJPGClick() { rbGIFClick(); }

void TConfigForm::cbUserDataClick() {
  const bool on = cbUserData.checked;
  for (ui::Edit* edit : {&edIntLogin, &edIntPassword}) {
    edit->enabled = on;
    edit->color = on ? ui::kColorWindow : ui::kColorBtnFace;
  }
  Label9.enabled = on;
  Label10.enabled = on;
}

void TConfigForm::cbUseDefaultConnClick() { GroupBox6.visible = !cbUseDefaultConn.checked; }

void TConfigForm::BitBtn1Click() { modal_result = ModalResult::Ok; }

void TConfigForm::BitBtn2Click() { modal_result = ModalResult::Cancel; }

void TConfigForm::Apply() {
  ui::AssertOnMainThread("TConfigForm::Apply");
  Settings& s = TheSettings();
  s.UseDefautConnection = cbUseDefaultConn.checked;
  const int entry = cbInternet.item_index;
  s.PhonebookEntry.set(entry >= 0 && static_cast<std::size_t>(entry) < cbInternet.items.size()
                           ? cbInternet.items[static_cast<std::size_t>(entry)]
                           : std::string());
  s.DisconnectOnEnd = cbDisconnect.checked;
  s.UserData = cbUserData.checked;
  // The file gives the login back without blanks at its ends: scrambled
  // with the blanks, the password could never be read again.
  s.IntLogin.set(std::string(text::trim_blanks(edIntLogin.caption)));
  s.IntPassword.set(edIntPassword.caption);
  s.ShowDialUp = cbShowDialUp.checked;
  // Whole seconds of at most 15000 stay well inside 32 bits as milliseconds.
  s.ZaprosTimeOut = se_ZaprosTimeOut.Clamped() * 1000;
  const std::int32_t read = se_ReadTimeOut.Clamped() * 1000;
  s.ReadTimeOut = read < 0 ? -1 : read;
  s.ConnectTimeOut = se_connectTimeOut.Clamped() * 1000;
  // The boxes take any number; a port that no socket can use is brought to
  // the nearest one that can (0 listens on any free port).
  s.OutPort = std::clamp<std::int32_t>(se_clie_port.Clamped(), 1, 65535);
  const std::int32_t old_port = s.InPort;
  const std::int32_t new_port = std::clamp<std::int32_t>(se_srv_port.Clamped(), 0, 65535);
  s.InPort = new_port;
  s.showWND = cb_ShowWND.checked;
  s.useFastDatTravel = cbUseFastDataTravel.checked;
  s.InetBuffSize = seInetBuffSize.Clamped();
  // The setting holds 16 bits: a longer period becomes the longest it holds.
  s.e_TVrefresh = static_cast<std::uint16_t>(
      std::min<std::int32_t>(seTVRefresh.Clamped(), std::numeric_limits<std::uint16_t>::max()));
  // A stored depth that is none of the items shows no number: it stays.
  if (const auto depth = ShownNumber(cbQuality); depth && *depth >= 0 && *depth <= 255)
    s.e_ScrSHOTquality = static_cast<std::uint8_t>(*depth);
  s.e_TypeTV = rbGIF.checked ? 1 : 0;
  s.e_JPGcompress = static_cast<std::uint8_t>(tbJPGcompress.position());

  const std::string path = IniFilePath();
  try {
    IniFile ini(path);
    WriteDialogSettings(ini, s);
  } catch (const std::exception& e) {
    // The file is left as it was; the new values hold until the plug-in
    // is loaded again.
    ui::Operator::instance().ShowMessageBox(
        caption, std::string("Не удалось сохранить настройки в файл "_w) + path + ": " + e.what(),
        ui::Buttons::Ok);
  }

  if (new_port != old_port && !MoveListener(old_port, new_port)) KeepPort(old_port, new_port, path);
}

bool TConfigForm::MoveListener(int old_port, int new_port) {
  const ListeningServer& server = context_.server;
  if (!server.deactivate || !server.activate) return true;
  const bool was_active = server.active && server.active();
  // The port it really listens on (InPort 0 took a free one).
  const int listening = was_active && server.port ? server.port() : old_port;
  try {
    server.deactivate();
    server.activate(new_port);
    return true;
  } catch (const std::exception& e) {
    AddToLog(std::string("Ошибка переключения прослушивающего сервера: "_w) + e.what());
    if (!was_active) return false;
    // An end that no longer listens is cut off from the other side: the
    // listener goes back to the port it had.
    try {
      server.deactivate();
      server.activate(listening);
      AddToLog(std::string("Прослушивающий сервер возвращен на прежний порт "_w) +
               std::to_string(listening));
    } catch (const std::exception& again) {
      AddToLog(std::string("Не удалось вернуть прослушивающий сервер на порт "_w) +
               std::to_string(listening) + ": " + again.what());
    }
    return false;
  }
}

// A port the listener could not take is not kept: stored, it would leave
// the end deaf at its next start.
void TConfigForm::KeepPort(int old_port, int new_port, const std::string& path) {
  TheSettings().InPort = old_port;
  try {
    IniFile(path).WriteInteger(kSettingsSection, "InPort", old_port);
  } catch (const std::exception&) {
    // The file is as it was before, or holds the old port already.
  }
  ui::Operator::instance().ShowMessageBox(
      caption,
      std::string("Порт "_w) + std::to_string(new_port) +
          std::string(" не удалось занять; прослушивающий сервер остался на прежнем порту"_w),
      ui::Buttons::Ok);
}

void OpenConfigForm(ConfigFormContext context) {
  TConfigForm form(std::move(context));
  form.ShowModal();
}

}  // namespace pw::settings
