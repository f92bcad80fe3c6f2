#include "platform/environment.h"

#include <unistd.h>

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

std::string OwnProgramPath() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

void SetEnvironmentValue(const std::string& name, const char* value) {
  if (value != nullptr) ::setenv(name.c_str(), value, 1);
  else ::unsetenv(name.c_str());
}

}  // namespace pw::platform
