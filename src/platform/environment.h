// Where the system lives on this machine. On Windows the installation folder
// is "C:\KELD\" and the settings folder the Windows directory; here both come
// from the environment: PUMPWIRE_ROOT (default: the current folder) and
// PUMPWIRE_WINDIR (default: the installation folder).
#pragma once

#include <string>
#include <vector>

namespace pw::platform {

// Both end with the path separator.
std::string InstallationFolder();
std::string SettingsFolder();

// The program's arguments after its name, as UTF-8, from main's argc and
// argv (on Windows from the wide command line, as argv holds them in the
// ANSI code page).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The full path of this program's own file, UTF-8 ("" when the OS cannot
// tell): how a program finds what is installed beside it.
std::string OwnProgramPath();

// Sets (or, with value nullptr, removes) a variable of this process's
// environment: how a host or a test points the folders above elsewhere.
// Names and values are UTF-8. Call before any other thread reads it.
void SetEnvironmentValue(const std::string& name, const char* value);

}  // namespace pw::platform
