// The command line of a program that hosts the plug-in over a folder
// (pumpwire-host, pumpwire-app): the mode, the folder and what is written
// into it before Load.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pw::host {

struct HostOptions {
  std::uint8_t mode = 0;  // PW_MODE_STATION or PW_MODE_OFFICE
  std::string root;       // UTF-8, ends in a separator
  std::string name = "АЗС";
  int interface_version = 4;
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<std::string> menu_items;
  std::string plugin;  // UTF-8; "" = the program's default
  std::string report_command;
  std::optional<std::string> password;      // UTF-8, plain
  std::optional<std::string> int_password;  // UTF-8, plain
};

// The options' part of --help, the same for every such program.
extern const char kHostOptionsHelp[];
// The host folder's part of --help: DIR/host/ and the connection library.
extern const char kHostFolderHelp[];

// Parses "station|office --root DIR [options]". --help prints usage and
// exits 0; a mistake is told on standard error as "PROGRAM: why" and exits 2.
// Points the plug-in's folders (PUMPWIRE_ROOT, PUMPWIRE_WINDIR) at DIR, as
// the plug-in looks for its connection library there as it loads.
HostOptions ParseHostOptions(const std::vector<std::string>& args, const std::string& program,
                             const std::string& usage);

// The plug-in file beside this program (the build folder, a Windows
// folder), or where the installation puts it relative to this program.
std::string PluginBesideProgram(const std::string& file, const std::string& installed_dir);

}  // namespace pw::host
