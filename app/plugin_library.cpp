#include "app/plugin_library.h"

#include <windows.h>

#include <algorithm>

#include "app/utf8.h"
#include "platform/error.h"
#include "platform/win32/win32_error.h"
#include "text/cp1251.h"

namespace pw::app {

namespace {

HMODULE LoadPlugin(const std::string& utf8_path) {
  std::wstring path = WideFromUtf8(utf8_path);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  // The libraries the plug-in needs are looked for beside it first.
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) platform::ThrowLastError("LoadLibraryW", text::cp1251_from_utf8(utf8_path));
  return module;
}

template <class Fn>
void Find(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  if (fn == nullptr) {
    ::FreeLibrary(module);
    throw Error(std::string("the plug-in lacks its export ") + name);
  }
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& utf8_path) : module_(LoadPlugin(utf8_path)) {
  HMODULE module = static_cast<HMODULE>(module_);
  Find(module, "Load", Load);
  Find(module, "UnLoad", UnLoad);
  Find(module, "AddMenus", AddMenus);
  Find(module, "AutoSendInet", AutoSendInet);
  Find(module, "RefreshPaswordData", RefreshPaswordData);
  Find(module, "GetVersion", GetVersion);
  Find(module, "AutoSendInetFromOffice", AutoSendInetFromOffice);
}

PluginLibrary::~PluginLibrary() {
  if (!kept_) ::FreeLibrary(static_cast<HMODULE>(module_));
}

}  // namespace pw::app
