#include "host/host_options.h"

#include <cstdlib>
#include <iostream>

#include "platform/environment.h"
#include "platform/files.h"
#include "services/settings_keys.h"
#include "text/cp1251.h"

namespace pw::host {

const char kHostOptionsHelp[] = R"(Options:
  --root DIR               installation folder (OFFICE, LogFiles, FromOffice,
                           FromAZS, ...) and the folder of cnf.INI; LogFiles/
                           and host/requests/ are created when missing
  --name TEXT              what GetOwnName returns (the station's name)
  --interface-version N    what GetInterfaceVersion returns (default 4)
  --set KEY=VALUE          write KEY of section Inet of cnf.INI before Load
                           (repeatable; the keys are in the README; a key the
                           plug-in does not read is refused)
  --password TEXT          write Password (the listener's password, checked
                           when PasswordEnable=1) in the scrambled form the
                           plug-in reads; --set Password=TEXT would be read as
                           a damaged value, which refuses every password. It
                           does not switch the check on: with PasswordEnable
                           off it warns that the password is not used
  --int-password TEXT      the same for IntPassword (the dial-up password),
                           scrambled with IntLogin
  --menu-item "Top>Child"  create these host menu items before Load
                           (repeatable)
  --plugin PATH            the plug-in library to load (default: the one
                           beside this program, as built, or where it is
                           installed relative to it, ../lib)
  --report-command CMD     station: how a received request becomes a report:
                           CMD runs through the system's shell (sh; cmd /c on
                           Windows) with the request's path as its argument
                           and prints the report's path (its first line;
                           nothing = no report; non-zero exit = error).
                           Without it the host writes DIR/host/answers/
                           REQUEST.txt naming the request and its size
  --help                   this text
)";

const char kHostFolderHelp[] = R"(Host folder DIR/host/:
  requests/NAME            office: the request for the station named NAME,
                           put there by you; GetRequestFile answers it at
                           every exchange until you replace or remove it
                           (none when it is missing)
  reports/                 office: ProcessReportFile copies each report here
                           under its own file name
  answers/                 station: the reports the host writes itself
  pictures/                office: what the picture viewers show, as BMP
                           files: screenshot-N.bmp for each screenshot, and
                           NAME.bmp, the latest frame of the TV viewer NAME
                           (pumpwire-host)

Connection library: DIR/Dialgate.so (Dialgate.dll on Windows), when present,
is loaded with the plug-in and brings the Internet connection up before each
exchange; without it an exchange goes on when a network interface other than
loopback is up.
)";

namespace {

[[noreturn]] void UsageError(const std::string& program, const std::string& why) {
  std::cerr << program << ": " << why << "\n(see " << program << " --help)\n";
  std::exit(2);
}

}  // namespace

HostOptions ParseHostOptions(const std::vector<std::string>& args, const std::string& program,
                             const std::string& usage) {
  HostOptions o;
  for (const auto& a : args)
    if (a == "--help" || a == "-h") {
      std::cout << usage;
      std::exit(0);
    }
  if (args.empty()) UsageError(program, "say station or office");
  if (args[0] == "station") o.mode = 0;
  else if (args[0] == "office") o.mode = 1;
  else UsageError(program, "the mode must be station or office, not '" + args[0] + "'");
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) UsageError(program, a + " needs a value");
      return args[++i];
    };
    if (a == "--root") o.root = value();
    else if (a == "--name") o.name = value();
    else if (a == "--interface-version") {
      const std::string v = value();
      try {
        o.interface_version = std::stoi(v);
      } catch (...) {
        UsageError(program, "--interface-version needs a number, not '" + v + "'");
      }
    } else if (a == "--set") {
      const std::string kv = value();
      const auto eq = kv.find('=');
      if (eq == std::string::npos || eq == 0) UsageError(program, "--set needs KEY=VALUE, not '" + kv + "'");
      if (!IsSettingsKey(text::cp1251_from_utf8(kv.substr(0, eq))))
        UsageError(program, "--set: '" + kv.substr(0, eq) + "' is not a key of section Inet (the keys are in the README)");
      o.settings.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
    } else if (a == "--menu-item") o.menu_items.push_back(value());
    else if (a == "--plugin") o.plugin = value();
    else if (a == "--report-command") o.report_command = value();
    else if (a == "--password") o.password = value();
    else if (a == "--int-password") o.int_password = value();
    else UsageError(program, "unknown option '" + a + "'");
  }
  if (o.root.empty()) UsageError(program, "--root DIR is required");
  if (o.root.back() != '/' && o.root.back() != platform::kPathSeparator) o.root += platform::kPathSeparator;
  // Before the plug-in is loaded: it looks for its connection library in the
  // installation folder as it loads.
  platform::SetEnvironmentValue("PUMPWIRE_ROOT", o.root.c_str());
  platform::SetEnvironmentValue("PUMPWIRE_WINDIR", o.root.c_str());
  return o;
}

std::string PluginBesideProgram(const std::string& file, const std::string& installed_dir) {
  const std::string self = platform::OwnProgramPath();
  const std::size_t cut = self.find_last_of("/\\");
  const std::string folder = cut == std::string::npos ? std::string() : self.substr(0, cut + 1);
  const std::string beside = folder + file;
  if (platform::FileExists(text::cp1251_from_utf8(beside))) return beside;
  return folder + installed_dir + "/" + file;
}

}  // namespace pw::host
