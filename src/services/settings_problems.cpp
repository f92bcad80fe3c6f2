#include <string_view>
#include <variant>

#include "platform/board_view.h"
#include "platform/ini_file.h"
#include "services/settings.h"
#include "services/settings_keys.h"
#include "text/cp1251.h"

namespace pw {

namespace {

const std::string_view kPrefix = "Ошибка в настройках: "_w;

// A value the reader does not take as a number falls back to its default:
// two different defaults tell such a value from a number. An absent key is
// no problem (no value can hold a line break).
bool IsNumberOrAbsent(const IniFile& ini, std::string_view key) {
  const std::string absent = "\n";
  if (ini.ReadString(kSettingsSection, key, absent) == absent) return true;
  return ini.ReadInteger(kSettingsSection, key, 0) == ini.ReadInteger(kSettingsSection, key, 1);
}

}  // namespace

std::vector<std::string> SettingsProblems(const IniFile& ini, const Settings& s) {
  std::vector<std::string> problems;
  const bool switch_unusable = PasswordSwitchUnusable(ini);
  // A switch neither 0 nor 1 is told once, below, not also as a number.
  const auto read_as_number = [&](const SettingsKey& key) {
    return key.kind == SettingKind::Flag || key.kind == SettingKind::Number ||
           key.kind == SettingKind::Limit ||
           (key.kind == SettingKind::PasswordSwitch && !switch_unusable);
  };
  for (const SettingsKey& key : kSettingsKeys) {
    if (!read_as_number(key) || IsNumberOrAbsent(ini, key.name)) continue;
    problems.push_back(std::string(kPrefix) + std::string(key.name) + "=" +
                       ini.ReadString(kSettingsSection, key.name, "") + std::string(" - не число"_w));
  }
  for (const SettingsKey& key : kSettingsKeys) {
    if (key.kind != SettingKind::Limit) continue;
    const std::int32_t value = (s.*std::get<std::atomic<std::int32_t> Settings::*>(key.field)).load();
    if (value >= 1) continue;
    problems.push_back(std::string(kPrefix) + std::string(key.name) + "=" + std::to_string(value) +
                       std::string(" - меньше 1, действует значение по умолчанию"_w));
  }
  // "-" turns the board's marks off; any other text that is no time of day
  // turns them off too, which an operator would not notice.
  const std::string deadline = s.ReportDeadline.get();
  if (!deadline.empty() && deadline != "-" && !platform::IsTimeOfDay(deadline))
    problems.push_back(std::string(kPrefix) + "ReportDeadline=" + deadline +
                       std::string(" - не время ЧЧ:ММ; станции без отчета не отмечаются"_w));
  if (switch_unusable)
    problems.push_back(std::string(kPrefix) + "PasswordEnable=" +
                       ini.ReadString(kSettingsSection, "PasswordEnable", "") +
                       std::string(" - не 0 и не 1; ни один пароль не принимается"_w));
  else if (s.PasswordUnusable)
    problems.push_back(std::string(kPrefix) +
                       std::string("Password пуст или записан не в зашифрованном виде; "
                                   "при PasswordEnable=1 ни один пароль не принимается"_w));
  return problems;
}

std::vector<std::string> UnknownSettingsKeys(const IniFile& ini) {
  std::vector<std::string> lines;
  for (const std::string& key : ini.ReadKeys(kSettingsSection))
    if (!IsSettingsKey(key))
      lines.push_back(std::string("Неизвестный ключ в настройках: "_w) + key + "=" +
                      ini.ReadString(kSettingsSection, key, "") + std::string(" - не используется"_w));
  return lines;
}

}  // namespace pw
