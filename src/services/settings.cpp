#include "services/settings.h"

#include <algorithm>
#include <array>
#include <limits>

#include "services/folders.h"
#include "platform/ini_file.h"

namespace pw {

namespace {

// Built into the scrambling; the given key is mixed into it at run time and
// the mixed key is never stored.
constexpr std::string_view kBuiltInKey = "lanternsflickerbeyondthemarshes";
static_assert(kBuiltInKey.size() == 31);

// An IPs value longer than this without a TAB is taken for damage, not a list.
constexpr std::size_t kMaxUntabbedIps = 250;

constexpr std::string_view kSection = kSettingsSection;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

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

template <typename T>
void ReadNarrow(const IniFile& ini, std::string_view key, std::atomic<T>& field) {
  field = Clamped<T>(ini.ReadInteger(kSection, key, field));
}

}  // namespace

void Settings::Reset() {
  const Settings initial;
  PasswordEnable = initial.PasswordEnable.load();
  Password.set(initial.Password.get());
  ZaprosTimeOut = initial.ZaprosTimeOut.load();
  ReadTimeOut = initial.ReadTimeOut.load();
  ConnectTimeOut = initial.ConnectTimeOut.load();
  OutPort = initial.OutPort.load();
  InPort = initial.InPort.load();
  showWND = initial.showWND.load();
  useFastDatTravel = initial.useFastDatTravel.load();
  InetBuffSize = initial.InetBuffSize.load();
  UseDefautConnection = initial.UseDefautConnection.load();
  PhonebookEntry.set(initial.PhonebookEntry.get());
  DisconnectOnEnd = initial.DisconnectOnEnd.load();
  UserData = initial.UserData.load();
  IntLogin.set(initial.IntLogin.get());
  ShowDialUp = initial.ShowDialUp.load();
  IntPassword.set(initial.IntPassword.get());
  e_TVrefresh = initial.e_TVrefresh.load();
  e_ScrSHOTquality = initial.e_ScrSHOTquality.load();
  e_TypeTV = initial.e_TypeTV.load();
  e_JPGcompress = initial.e_JPGcompress.load();
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
  remembered = ParseRememberedAddresses(ini.ReadString(kSection, "IPs", ""));
  ReadFlag(ini, "PasswordEnable", s.PasswordEnable);
  ReadPassword(ini, "Password", kPasswordKey, s.Password);
  ReadInt(ini, "ZaprosTimeOut", s.ZaprosTimeOut);
  ReadInt(ini, "ReadTimeOut", s.ReadTimeOut);
  ReadInt(ini, "ConnectTimeOut", s.ConnectTimeOut);
  ReadInt(ini, "OutPort", s.OutPort);
  ReadInt(ini, "InPort", s.InPort);
  ReadFlag(ini, "showWND", s.showWND);
  ReadFlag(ini, "useFastDatTravel", s.useFastDatTravel);
  ReadInt(ini, "InetBuffSize", s.InetBuffSize);
  ReadDialogConnectionSettings(ini, s);
  ReadNarrow(ini, "e_TVrefresh", s.e_TVrefresh);
  ReadNarrow(ini, "e_ScrSHOTquality", s.e_ScrSHOTquality);
  ReadInt(ini, "e_TypeTV", s.e_TypeTV);
  ReadNarrow(ini, "e_JPGcompress", s.e_JPGcompress);
}

void ReadPasswordSettings(const IniFile& ini, Settings& s) {
  ReadFlag(ini, "PasswordEnable", s.PasswordEnable);
  ReadPassword(ini, "Password", kPasswordKey, s.Password);
}

void ReadDialogConnectionSettings(const IniFile& ini, Settings& s) {
  ReadFlag(ini, "UseDefautConnection", s.UseDefautConnection);
  ReadText(ini, "PhonebookEntry", s.PhonebookEntry);
  ReadFlag(ini, "DisconnectOnEnd", s.DisconnectOnEnd);
  ReadFlag(ini, "UserData", s.UserData);
  ReadText(ini, "IntLogin", s.IntLogin);
  ReadFlag(ini, "ShowDialUp", s.ShowDialUp);
  ReadPassword(ini, "IntPassword", s.IntLogin.get(), s.IntPassword);
}

void WriteDialogSettings(IniFile& ini, const Settings& s) {
  const std::string login = s.IntLogin.get();
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  auto number = [](std::int64_t n) { return std::to_string(n); };
  ini.WriteStrings(kSection, {
      {"UseDefautConnection", flag(s.UseDefautConnection)},
      {"PhonebookEntry", s.PhonebookEntry.get()},
      {"DisconnectOnEnd", flag(s.DisconnectOnEnd)},
      {"UserData", flag(s.UserData)},
      {"IntLogin", login},
      {"ShowDialUp", flag(s.ShowDialUp)},
      {"IntPassword", EncodePassword(login, s.IntPassword.get())},
      {"ZaprosTimeOut", number(s.ZaprosTimeOut)},
      {"ReadTimeOut", number(s.ReadTimeOut)},
      {"ConnectTimeOut", number(s.ConnectTimeOut)},
      {"OutPort", number(s.OutPort)},
      {"InPort", number(s.InPort)},
      {"showWND", flag(s.showWND)},
      {"useFastDatTravel", flag(s.useFastDatTravel)},
      {"InetBuffSize", number(s.InetBuffSize)},
      {"e_TVrefresh", number(s.e_TVrefresh)},
      {"e_ScrSHOTquality", number(s.e_ScrSHOTquality)},
      {"e_TypeTV", number(s.e_TypeTV)},
      {"e_JPGcompress", number(s.e_JPGcompress)},
  });
}

std::string ScrambleText(std::string_view key, std::string_view data) {
  if (key.empty()) return {};
  std::array<char, kBuiltInKey.size()> mixed{};
  for (std::size_t i = 0; i < mixed.size(); ++i)
    mixed[i] = static_cast<char>(kBuiltInKey[i] ^ key[i % key.size()]);
  std::string out(data);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(out[i] ^ mixed[i % mixed.size()]);
  return out;
}

std::string EncodePassword(std::string_view key, std::string_view plain) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::string scrambled = ScrambleText(key, plain);
  std::string out;
  out.reserve(scrambled.size() * 2);
  for (const char c : scrambled) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

// A pair that is not two hexadecimal digits ends the stored text: the bytes
// decoded before it are unscrambled and returned, the rest is dropped. A
// damaged file thus gives a password that fails the check instead of an
// error that would stop the plug-in from loading.
std::string DecodePassword(std::string_view key, std::string_view stored) {
  std::string bytes;
  bytes.reserve(stored.size() / 2);
  for (std::size_t i = 0; i + 1 < stored.size(); i += 2) {
    const int hi = HexDigit(stored[i]);
    const int lo = HexDigit(stored[i + 1]);
    if (hi < 0 || lo < 0) break;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return ScrambleText(key, bytes);
}

}  // namespace pw
