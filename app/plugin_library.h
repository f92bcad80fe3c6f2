// The plug-in as the application loads it: LoadLibraryW of its file and its
// seven exports found by name (GetProcAddress), each with its calling
// convention (__stdcall on 32-bit Windows).
#pragma once

#include "app/plugin_api.h"

#include <string>

namespace pw::app {

class PluginLibrary {
 public:
  using LoadFn = int32_t(PW_CALL*)(uint32_t app_window, uint8_t mode, PwHostServices* host);
  using UnLoadFn = int32_t(PW_CALL*)();
  using AddMenusFn = void(PW_CALL*)();
  using AutoSendInetFn = void(PW_CALL*)();
  using RefreshPaswordDataFn = int32_t(PW_CALL*)();
  using GetVersionFn = const char*(PW_CALL*)();
  using AutoSendInetFromOfficeFn = void(PW_CALL*)(int32_t ignored, const char* address);

  // Raises pw::Error when the file cannot be loaded or lacks an export.
  explicit PluginLibrary(const std::string& utf8_path);
  // Frees the library unless it is kept.
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // The plug-in's threads may still run (UnLoad gave 1): its code stays.
  void Keep() { kept_ = true; }

  LoadFn Load = nullptr;
  UnLoadFn UnLoad = nullptr;
  AddMenusFn AddMenus = nullptr;
  AutoSendInetFn AutoSendInet = nullptr;
  RefreshPaswordDataFn RefreshPaswordData = nullptr;
  GetVersionFn GetVersion = nullptr;
  AutoSendInetFromOfficeFn AutoSendInetFromOffice = nullptr;

 private:
  void* module_;
  bool kept_ = false;
};

}  // namespace pw::app
