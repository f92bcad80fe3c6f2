#include "platform/dynamic_library.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"

namespace pw::platform {

const char kSharedLibrarySuffix[] = ".dll";

namespace {

bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') ||
         (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

HMODULE Load(const std::string& path) {
  std::wstring native = Wide(path);
  std::replace(native.begin(), native.end(), L'/', L'\\');
  // A missing library or one of its own is an error to report, not a
  // message box for the operator.
  DWORD old_mode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
  // Given by full path, the libraries it needs are looked for beside it
  // first, as for a program in that folder.
  const HMODULE module = IsAbsolute(native)
                             ? ::LoadLibraryExW(native.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                             : ::LoadLibraryW(native.c_str());
  const DWORD err = ::GetLastError();
  ::SetThreadErrorMode(old_mode, nullptr);
  if (module == nullptr) ThrowWin32Error("LoadLibrary", path, err);
  return module;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) : handle_(Load(path)) {}

DynamicLibrary::~DynamicLibrary() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::Symbol(const std::string& name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

}  // namespace pw::platform
