// The seven exports. No exception crosses into the host: each export catches
// everything and reports it the one way its signature allows.
//
// plugin.h declares the seven on Windows too when asked (this file includes
// no <windows.h>, whose GetVersion is another), so the definitions below are
// checked against the declarations. First, before anything includes it.
#define PW_DECLARE_EXPORTS
#include <exception>
#include <string>

#include "connection/plugin_connection.h"
#include "pumpwire/plugin.h"
#include "services/event_log.h"
#include "shell/lifecycle.h"
#include "shell/menu_proc.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"

namespace {

// Errors that the host would otherwise see are written to the event log.
void LogEscapedError(std::string_view where) {
  try {
    throw;
  } catch (const std::exception& e) {
    try {
      pw::AddToLog(std::string(where) + pw::text::VisibleText(e.what()));
    } catch (...) {
      pw::ui::Dispatcher::instance().report_current_exception();
    }
  } catch (...) {
    pw::ui::Dispatcher::instance().report_current_exception();
  }
}

// The connection library comes and goes with this library, not with Load.
const pw::connection::PluginConnection loaded_with_plugin;

}  // namespace

using pw::operator""_w;

extern "C" {

PW_EXPORT int32_t PW_CALL Load(uint32_t app_window, uint8_t mode, PwHostServices* host) {
  try {
    return pw::LoadPlugin(app_window, mode, host);
  } catch (...) {
    LogEscapedError("Ошибка загрузки: "_w);
    return 1;
  }
}

PW_EXPORT int32_t PW_CALL UnLoad(void) {
  try {
    return pw::UnLoadPlugin();
  } catch (...) {
    return 1;
  }
}

PW_EXPORT void PW_CALL AddMenus(void) {
  try {
    pw::AddMenus();
  } catch (...) {
    LogEscapedError("Ошибка построения меню: "_w);
  }
}

PW_EXPORT void PW_CALL AutoSendInet(void) {
  try {
    pw::AutoSendInetStation();
  } catch (...) {
    LogEscapedError("Ошибка: "_w);
  }
}

PW_EXPORT int32_t PW_CALL RefreshPaswordData(void) {
  try {
    pw::RefreshPasswordSettings();
    return 0;
  } catch (...) {
    LogEscapedError("Ошибка чтения настроек: "_w);
    return 1;
  }
}

PW_EXPORT const char* PW_CALL GetVersion(void) { return pw::VersionText(); }

PW_EXPORT void PW_CALL AutoSendInetFromOffice(int32_t, const char* address) {
  try {
    pw::AutoSendInetOffice(address != nullptr ? address : "");
  } catch (...) {
    LogEscapedError("Ошибка: "_w);
  }
}

}  // extern "C"
