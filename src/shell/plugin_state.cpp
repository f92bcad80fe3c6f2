#include "shell/plugin_state.h"

#include "interactive/interactive_form.h"
#include "interactive/sm_list_form.h"
#include "interactive/text_input_form.h"
#include "office/inet_office_form.h"
#include "station/inet_form.h"
#include "services/folders.h"
#include "shell/menu_proc.h"

namespace pw {

PluginState::PluginState() = default;
PluginState::~PluginState() = default;

PluginState& State() {
  static PluginState state;
  return state;
}

}  // namespace pw
