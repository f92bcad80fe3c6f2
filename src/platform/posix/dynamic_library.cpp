#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::platform {

const char kSharedLibrarySuffix[] = ".so";

DynamicLibrary::DynamicLibrary(const std::string& path)
    : handle_(::dlopen(text::utf8_from_cp1251(path).c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    throw Error("dlopen " + path + ": " + text::cp1251_from_utf8(why != nullptr ? why : "?"));
  }
}

DynamicLibrary::~DynamicLibrary() { ::dlclose(handle_); }

void* DynamicLibrary::Symbol(const std::string& name) const { return ::dlsym(handle_, name.c_str()); }

}  // namespace pw::platform
