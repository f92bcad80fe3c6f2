// The settings dialog TConfigForm: the operator edits the settings of
// section Inet; "Применить" stores them in memory and in cnf.INI and moves the
// listening server when its port changed. Each opening makes the dialog
// anew and frees it when it closes. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "services/plugin_context.h"
#include "ui/controls.h"
#include "ui/operator.h"
#include "ui/window.h"

namespace pw::settings {

// The listening server of the current mode's window, as the dialog moves it
// to another port. Empty members: there is no server to move.
struct ListeningServer {
  std::function<bool()> active;
  std::function<int()> port;
  // Both raise on failure; activate listens at port on every address the
  // server is bound to (each of the station's per-address bindings).
  std::function<void()> deactivate;
  std::function<void(int port)> activate;
};

// What the dialog needs of the rest of the plug-in.
struct ConfigFormContext {
  std::uint8_t mode = kStationMode;
  bool library_present = false;  // the connection library was loaded
  // The computer's dial-up phonebook entries; may raise.
  std::function<std::vector<std::string>()> phonebook_entries;
  ListeningServer server;
};

class TConfigForm : public ui::Window {
 public:
  explicit TConfigForm(ConfigFormContext context);
  ~TConfigForm() override;

  // Shows the dialog modally through the operator (FormShow fills it); on
  // OK ("Применить") applies it. The result is how it was closed.
  ui::Answer ShowModal();

  // The filling on show: re-reads the connection keys from cnf.INI, then
  // puts every setting into its control. An error stops the filling
  // silently and leaves the rest of the controls as designed.
  void FormShow();

  // "Применить": the controls into memory, memory into cnf.INI (the operator
  // is told when the file cannot be written; it then stays as it was), and
  // the listener moved to a changed InPort.
  void Apply();

  // Event handlers.
  void cbUseFastDataTravelClick();  // the fast-transfer rule
  void rbGIFClick();                // the GIF/JPG rule
  void rbJPGClick();
  void cbUserDataClick();           // the cbUserData rule
  void cbUseDefaultConnClick();     // GroupBox6 hidden while it is on
  void BitBtn1Click();              // "Применить": closes with OK
  void BitBtn2Click();              // "Отменить": closes with Cancel

  // Controls, captions in Windows-1251, in the order of the tabs.
  ui::Control PageControl1{*this, "PageControl1"};
  ui::TabSheet TabSheet1{*this, "TabSheet1"};  // "Параметры"
  ui::Label Label1{*this, "Label1"};
  ui::SpinEdit se_clie_port{*this, "se_clie_port"};
  ui::Label Label2{*this, "Label2"};
  ui::SpinEdit se_srv_port{*this, "se_srv_port"};
  ui::Label Label3{*this, "Label3"};
  ui::SpinEdit se_ZaprosTimeOut{*this, "se_ZaprosTimeOut"};
  ui::Label Label4{*this, "Label4"};
  ui::SpinEdit se_ReadTimeOut{*this, "se_ReadTimeOut"};
  ui::Label Label5{*this, "Label5"};
  ui::SpinEdit se_connectTimeOut{*this, "se_connectTimeOut"};
  ui::CheckBox cb_ShowWND{*this, "cb_ShowWND"};
  ui::CheckBox cbUseFastDataTravel{*this, "cbUseFastDataTravel"};
  ui::Label Label6{*this, "Label6"};
  ui::SpinEdit seInetBuffSize{*this, "seInetBuffSize"};

  ui::TabSheet TabSheet2{*this, "TabSheet2"};  // "Подключение к интернету"
  ui::CheckBox cbUseDefaultConn{*this, "cbUseDefaultConn"};
  ui::GroupBox GroupBox6{*this, "GroupBox6"};
  ui::ComboBox cbInternet{*this, "cbInternet"};  // a drop-down list: no free text
  ui::CheckBox cbShowDialUp{*this, "cbShowDialUp"};
  ui::CheckBox cbDisconnect{*this, "cbDisconnect"};
  ui::CheckBox cbUserData{*this, "cbUserData"};
  ui::GroupBox GroupBox7{*this, "GroupBox7"};
  ui::Label Label9{*this, "Label9"};
  ui::Edit edIntLogin{*this, "edIntLogin"};
  ui::Label Label10{*this, "Label10"};
  ui::Edit edIntPassword{*this, "edIntPassword"};

  ui::TabSheet TabSheet3{*this, "TabSheet3"};  // "Интерактив", the office's only
  ui::Label Label7{*this, "Label7"};
  ui::ComboBox cbQuality{*this, "cbQuality"};  // a drop-down list
  ui::GroupBox GroupBox8{*this, "GroupBox8"};
  ui::Label Label11{*this, "Label11"};
  ui::SpinEdit seTVRefresh{*this, "seTVRefresh"};
  ui::RadioButton rbGIF{*this, "rbGIF"};
  ui::RadioButton rbJPG{*this, "rbJPG"};
  ui::Label Label8{*this, "Label8"};
  ui::TrackBar tbJPGcompress{*this, "tbJPGcompress"};

  ui::Button BitBtn1{*this, "BitBtn1"};
  ui::Button BitBtn2{*this, "BitBtn2"};

 private:
  void LayOut();
  void FillControls();
  // False when the listener could not take new_port (it is back on the
  // port it had, when it was listening).
  bool MoveListener(int old_port, int new_port);
  // After a failed move: InPort stays old_port in memory and file, and the
  // operator is told.
  void KeepPort(int old_port, int new_port, const std::string& path);

  ConfigFormContext context_;
};

// Makes the dialog, shows it modally and frees it: the menu item and the
// connection windows' "Настройки".
void OpenConfigForm(ConfigFormContext context);

}  // namespace pw::settings
