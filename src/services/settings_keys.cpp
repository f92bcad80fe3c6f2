#include "services/settings_keys.h"

#include <type_traits>

#include "services/password_scrambling.h"
#include "text/cp1251.h"

namespace pw {

bool IsSettingsKey(std::string_view key) {
  for (const SettingsKey& known : kSettingsKeys)
    if (text::same_ignoring_case(known.name, key)) return true;
  return false;
}

std::string StoredSettingValue(const Settings& s, const SettingsKey& key) {
  return std::visit(
      [&](auto field) -> std::string {
        using Field = decltype(field);
        if constexpr (std::is_same_v<Field, std::monostate>) {
          return {};
        } else if constexpr (std::is_same_v<Field, AtomicText Settings::*>) {
          if (key.kind == SettingKind::DialPassword)
            return EncodePassword(s.IntLogin.get(), (s.*field).get());
          if (key.kind == SettingKind::OfficePassword)
            return EncodePassword(kPasswordKey, (s.*field).get());
          return (s.*field).get();
        } else if constexpr (std::is_same_v<Field, std::atomic<bool> Settings::*>) {
          return (s.*field).load() ? "1" : "0";
        } else {
          return std::to_string(static_cast<std::int64_t>((s.*field).load()));
        }
      },
      key.field);
}

}  // namespace pw
