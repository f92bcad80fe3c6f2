#include "services/settings.h"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "services/folders.h"
#include "services/settings_keys.h"
#include "platform/ini_file.h"

namespace pw {

namespace {

// An IPs value longer than this without a TAB is taken for damage, not a list.
constexpr std::size_t kMaxUntabbedIps = 250;

constexpr std::string_view kSection = kSettingsSection;

// The file may hold any 32-bit number; the narrow settings take the nearest
// value they can hold, so an e_TVrefresh of 99999990 (which the dialog admits)
// becomes 65535 ms rather than some unrelated remainder.
template <typename T>
T Clamped(std::int32_t value) {
  return static_cast<T>(std::clamp<std::int32_t>(value, 0, std::numeric_limits<T>::max()));
}

void ReadInt(const IniFile& ini, std::string_view key, std::atomic<std::int32_t>& field) {
  field = ini.ReadInteger(kSection, key, field);
}

void ReadFlag(const IniFile& ini, std::string_view key, std::atomic<bool>& field) {
  field = ini.ReadBool(kSection, key, field);
}

void ReadText(const IniFile& ini, std::string_view key, AtomicText& field) {
  field.set(ini.ReadString(kSection, key, field.get()));
}

// An absent password key keeps the password in memory: its default is the
// stored form of that password, which decodes back to it. (Decoding the
// plain text itself, as if it were stored, would turn a password already
// read into noise.) Under an empty scrambling key every password reads as
// empty, absent or not.
void ReadPassword(const IniFile& ini, std::string_view key, std::string_view scramble_key,
                  AtomicText& field) {
  const std::string stored =
      ini.ReadString(kSection, key, EncodePassword(scramble_key, field.get()));
  field.set(DecodePassword(scramble_key, stored));
}

// PasswordEnable and Password, and whether the check can let anyone in.
// A handshake may read the three one by one while the host refreshes them:
// they are worked out first and stored with the check refusing everything
// until the last store, so no reader sees the new switch with a stale or
// empty password that is not yet marked unusable.
// A switch that is neither 0 nor 1 ("yes", say) is taken as on with a
// password nobody has: read as a number it would be off (the default) or
// on with whatever Password holds, and either may let in a peer it should not.
void ReadOfficePassword(const IniFile& ini, Settings& s) {
  const bool switch_unusable = PasswordSwitchUnusable(ini);
  std::atomic<bool> enable{s.PasswordEnable.load()};
  if (switch_unusable) enable = true;
  else ReadFlag(ini, "PasswordEnable", enable);
  AtomicText password(s.Password.get());
  ReadPassword(ini, "Password", kPasswordKey, password);
  const bool unusable = switch_unusable ||
                        (enable && (password.get().empty() ||
                                    !IsScrambledForm(ini.ReadString(kSection, "Password", ""))));
  s.PasswordUnusable = true;
  s.Password.set(password.get());
  s.PasswordEnable = enable.load();
  s.PasswordUnusable = unusable;
}

template <typename T>
void ReadNarrow(const IniFile& ini, std::string_view key, std::atomic<T>& field) {
  field = Clamped<T>(ini.ReadInteger(kSection, key, field));
}

// One key into its field, with the value in memory as its default. IPs and
// the office password are read apart (see ReadAllSettings).
void ReadKey(const IniFile& ini, const SettingsKey& key, Settings& s) {
  std::visit(
      [&](auto field) {
        using Field = decltype(field);
        if constexpr (std::is_same_v<Field, AtomicText Settings::*>) {
          if (key.kind == SettingKind::DialPassword)
            ReadPassword(ini, key.name, s.IntLogin.get(), s.*field);
          else
            ReadText(ini, key.name, s.*field);
        } else if constexpr (std::is_same_v<Field, std::atomic<bool> Settings::*>) {
          ReadFlag(ini, key.name, s.*field);
        } else if constexpr (std::is_same_v<Field, std::atomic<std::int32_t> Settings::*>) {
          ReadInt(ini, key.name, s.*field);
        } else if constexpr (!std::is_same_v<Field, std::monostate>) {
          ReadNarrow(ini, key.name, s.*field);
        }
      },
      key.field);
}

}  // namespace

Settings::Settings() { Reset(); }

void Settings::Reset() {
  for (const SettingsKey& key : kSettingsKeys) {
    std::visit(
        [&](auto field) {
          using Field = decltype(field);
          if constexpr (std::is_same_v<Field, AtomicText Settings::*>) {
            (this->*field).set({});
          } else if constexpr (!std::is_same_v<Field, std::monostate>) {
            using Value = typename std::remove_reference_t<decltype(this->*field)>::value_type;
            (this->*field) = static_cast<Value>(key.initial);
          }
        },
        key.field);
  }
  PasswordUnusable = false;
}

Settings& TheSettings() {
  static Settings settings;
  return settings;
}

std::string IniFilePath() { return CurrentFolders().settings_file; }

std::vector<std::string> ParseRememberedAddresses(const std::string& ips) {
  // The value is a C string to the profile API: nothing after a NUL counts.
  const std::string_view value(ips.c_str());
  std::vector<std::string> entries;
  if (value.find('\t') == std::string_view::npos && value.size() > kMaxUntabbedIps) {
    entries.emplace_back(" ");
    return entries;
  }
  // Every TAB becomes a line break and the text is split into lines: CR, LF
  // and CR LF already in the value break lines too, two separators in a row
  // give an empty entry, and only the one break at the very end gives none.
  std::size_t pos = 0;
  while (pos < value.size()) {
    const std::size_t end = value.find_first_of("\t\r\n", pos);
    if (end == std::string_view::npos) {
      entries.emplace_back(value.substr(pos));
      break;
    }
    entries.emplace_back(value.substr(pos, end - pos));
    pos = end + 1;
    if (value[end] == '\r' && pos < value.size() && value[pos] == '\n') ++pos;
  }
  return entries;
}

std::string FormatRememberedAddresses(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& entry : entries) {
    out += entry;
    out += '\t';
  }
  return out;
}

void ReadAllSettings(const IniFile& ini, Settings& s, std::vector<std::string>& remembered) {
  for (const SettingsKey& key : kSettingsKeys) {
    switch (key.kind) {
      case SettingKind::Addresses:
        remembered = ParseRememberedAddresses(ini.ReadString(kSection, key.name, ""));
        break;
      case SettingKind::PasswordSwitch:
        ReadOfficePassword(ini, s);  // Password with it
        break;
      case SettingKind::OfficePassword:
        break;
      default:
        ReadKey(ini, key, s);
    }
  }
}

void ReadPasswordSettings(const IniFile& ini, Settings& s) { ReadOfficePassword(ini, s); }

bool PasswordSwitchUnusable(const IniFile& ini) {
  const std::string absent = "\n";  // no value can hold a line break
  if (ini.ReadString(kSection, "PasswordEnable", absent) == absent) return false;
  const std::int32_t value = ini.ReadInteger(kSection, "PasswordEnable", -1);
  return value != 0 && value != 1;
}

void ReadDialogConnectionSettings(const IniFile& ini, Settings& s) {
  for (const SettingsKey& key : kSettingsKeys)
    if (key.dialog == DialogUse::ReReadAndWritten) ReadKey(ini, key, s);
}

void WriteDialogSettings(IniFile& ini, const Settings& s) {
  std::vector<IniFile::Entry> values;
  for (const DialogUse use : {DialogUse::ReReadAndWritten, DialogUse::Written})
    for (const SettingsKey& key : kSettingsKeys)
      if (key.dialog == use) values.emplace_back(std::string(key.name), StoredSettingValue(s, key));
  ini.WriteStrings(kSection, values);
}

}  // namespace pw
