#include "platform/environment.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>

#include "platform/win32/wide_text.h"

namespace pw::platform {

namespace {

// A folder given with "/" (as a test or a script may) keeps its "/".
std::string WithSeparator(std::string folder) {
  if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '\\';
  return folder;
}

// The value as Windows-1251, "" when unset or empty.
std::string FromEnvironment(const wchar_t* name) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return std::string();
    if (n < value.size()) {
      value.resize(n);
      return Narrow(value);
    }
    value.resize(n);  // n counts the terminating zero when the room was short
  }
}

std::string WindowsDirectory() {
  wchar_t buf[MAX_PATH + 1];
  const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? Narrow(std::wstring_view(buf, n)) : std::string("C:\\WINDOWS");
}

}  // namespace

std::string InstallationFolder() {
  const std::string root = FromEnvironment(L"PUMPWIRE_ROOT");
  return root.empty() ? std::string("C:\\KELD\\") : WithSeparator(root);
}

// With PUMPWIRE_WINDIR unset a moved installation (PUMPWIRE_ROOT) keeps its
// settings with it, as everywhere else; only an untouched one uses the
// Windows directory.
std::string SettingsFolder() {
  const std::string windir = FromEnvironment(L"PUMPWIRE_WINDIR");
  if (!windir.empty()) return WithSeparator(windir);
  if (!FromEnvironment(L"PUMPWIRE_ROOT").empty()) return InstallationFolder();
  return WithSeparator(WindowsDirectory());
}

std::string OwnProgramPath() {
  std::wstring path(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  return text::utf8_from_cp1251(Narrow(path));
}

// Both the system's block (what GetEnvironmentVariable and started programs
// see) and the C runtime's copy (what getenv sees, also in other modules of
// the same runtime) get the value.
void SetEnvironmentValue(const std::string& name, const char* value) {
  const std::wstring wide_name = WideFromUtf8(name);
  const std::wstring wide_value = value != nullptr ? WideFromUtf8(value) : std::wstring();
  ::SetEnvironmentVariableW(wide_name.c_str(), value != nullptr ? wide_value.c_str() : nullptr);
  ::_wputenv_s(wide_name.c_str(), wide_value.c_str());  // "" removes it
}

}  // namespace pw::platform
