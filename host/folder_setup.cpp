#include "host/folder_setup.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "services/password_scrambling.h"
#include "text/cp1251.h"

namespace pw::host {

std::vector<std::string> PrepareHostFolder(const HostOptions& options) {
  std::vector<std::string> warnings;
  using text::cp1251_from_utf8;
  const std::string root = cp1251_from_utf8(options.root);
  platform::CreateDirectories(root + "LogFiles");
  platform::CreateDirectories(root + "host" + platform::kPathSeparator + "requests");
  IniFile ini(root + "cnf.INI");
  for (const auto& [key, value] : options.settings)
    ini.WriteString("Inet", cp1251_from_utf8(key), cp1251_from_utf8(value));
  if (options.password) {
    ini.WriteString("Inet", "Password", EncodePassword(kPasswordKey, cp1251_from_utf8(*options.password)));
    // Written, not switched on: the switch stays the operator's to set.
    if (ini.ReadString("Inet", "PasswordEnable", "\n") == "\n" || ini.ReadInteger("Inet", "PasswordEnable", 1) == 0)
      warnings.push_back("--password is written, but PasswordEnable is off: no password is sent "
                         "or checked (add --set PasswordEnable=1)");
  }
  if (options.int_password) {
    const std::string login = ini.ReadString("Inet", "IntLogin", "");
    // Scrambled with an empty login, every password reads as empty.
    if (login.empty()) throw Error("--int-password needs IntLogin (--set IntLogin=NAME)");
    ini.WriteString("Inet", "IntPassword", EncodePassword(login, cp1251_from_utf8(*options.int_password)));
  }
  return warnings;
}

}  // namespace pw::host
