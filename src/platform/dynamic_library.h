// Loading a shared library and finding its entry points by name.
#pragma once

#include <string>

namespace pw::platform {

// The file name ending of a shared library on this OS (".so", ".dll").
extern const char kSharedLibrarySuffix[];

class DynamicLibrary {
 public:
  // Raises pw::Error with the loader's text when the library cannot be loaded.
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The entry point, or nullptr when the library has none of that name.
  void* Symbol(const std::string& name) const;

  template <typename Fn>
  Fn Function(const std::string& name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }

 private:
  void* handle_;
};

}  // namespace pw::platform
