#include "shell/settings_dialog.h"

#include "connection/internet_connection.h"
#include "office/inet_office_form.h"
#include "settings/config_form.h"
#include "shell/plugin_state.h"
#include "station/inet_form.h"

namespace pw {

namespace {

// The server of the window the mode has, when it has one. The window lives
// until UnLoad, which never runs while the dialog is open.
settings::ListeningServer ServerOf(PluginState& state) {
  settings::ListeningServer server;
  protocol::Listener* listener = nullptr;
  if (station::TInetForm* w = state.station_window.get()) listener = &w->IdTCPServer1;
  else if (office::TInetOfficeForm* w = state.office_window.get()) listener = &w->listener();
  if (listener == nullptr) return server;
  protocol::Listener& l = *listener;
  server.active = [&l] { return l.Active(); };
  server.port = [&l] { return l.Port(); };
  server.deactivate = [&l] { l.Deactivate(); };
  // Every per-address binding moves with it (the office has none).
  server.activate = [&l](int port) { l.Activate(port, l.Bindings()); };
  return server;
}

}  // namespace

void OpenSettingsDialog(PluginState& state) {
  settings::ConfigFormContext context;
  context.mode = state.mode;
  context.library_present = connection::ProcessLibraryPresent();
  context.phonebook_entries = [] { return connection::ProcessPhonebookEntries(); };
  context.server = ServerOf(state);
  settings::OpenConfigForm(std::move(context));
}

}  // namespace pw
