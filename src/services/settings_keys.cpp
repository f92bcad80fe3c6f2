#include "services/settings_keys.h"

#include "text/cp1251.h"

namespace pw {

bool IsSettingsKey(std::string_view key) {
  for (const SettingsKey& known : kSettingsKeys)
    if (text::same_ignoring_case(known.name, key)) return true;
  return false;
}

}  // namespace pw
