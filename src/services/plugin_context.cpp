#include "services/plugin_context.h"

#include "platform/error.h"
#include "services/event_log.h"
#include "text/cp1251.h"

namespace pw {

const HostServices& PluginContext::Host() const {
  if (!host) throw Error("host: not loaded"_w.data(), ErrorKind::kHost);
  return *host;
}

void PluginContext::OpenSettingsDialog(ui::ListBox* log) const {
  if (open_settings_dialog)
    open_settings_dialog();
  else
    AddToLog("Диалог настройки пока недоступен"_w, log);
}

}  // namespace pw
