#include "platform/environment.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "text/cp1251.h"

namespace pw::platform {

namespace {

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string CurrentFolder() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string(".");
}

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : std::string();
}

}  // namespace

std::string InstallationFolder() {
  std::string root = FromEnvironment("PUMPWIRE_ROOT");
  if (root.empty()) root = CurrentFolder();
  return text::cp1251_from_utf8(WithSeparator(root));
}

std::string SettingsFolder() {
  const std::string windir = FromEnvironment("PUMPWIRE_WINDIR");
  return windir.empty() ? InstallationFolder() : text::cp1251_from_utf8(WithSeparator(windir));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

void SetEnvironmentValue(const std::string& name, const char* value) {
  if (value != nullptr) ::setenv(name.c_str(), value, 1);
  else ::unsetenv(name.c_str());
}

}  // namespace pw::platform
