// Where the system lives on this machine. On Windows the installation folder
// is "C:\KELD\" and the settings folder the Windows directory; here both come
// from the environment: PUMPWIRE_ROOT (default: the current folder) and
// PUMPWIRE_WINDIR (default: the installation folder).
#pragma once

#include <string>

namespace pw::platform {

// Both end with the path separator.
std::string InstallationFolder();
std::string SettingsFolder();

}  // namespace pw::platform
