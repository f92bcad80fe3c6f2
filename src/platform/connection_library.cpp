#include "platform/connection_library.h"

#include "platform/dynamic_library.h"
#include "platform/environment.h"

namespace pw::platform {

namespace {
constexpr const char* kEntryNames[] = {"Connect", "Disconnect", "GetConnectState",
                                       "AutoDisconnectValue"};
}  // namespace

std::unique_ptr<ConnectionLibrary> ConnectionLibrary::Open(const std::string& path) noexcept {
  try {
    return std::unique_ptr<ConnectionLibrary>(
        new ConnectionLibrary(std::make_unique<DynamicLibrary>(path)));
  } catch (...) {
    return nullptr;
  }
}

ConnectionLibrary::ConnectionLibrary(std::unique_ptr<DynamicLibrary> library)
    : library_(std::move(library)) {
  for (int i = 0; i < 4; ++i) entries_[i] = library_->Function<EntryPoint>(kEntryNames[i]);
}

ConnectionLibrary::~ConnectionLibrary() = default;

bool ConnectionLibrary::Has(ConnectionEntry entry) const {
  return entries_[static_cast<int>(entry)] != nullptr;
}

bool ConnectionLibrary::Call(ConnectionEntry entry, std::uint8_t code) const {
  const EntryPoint fn = entries_[static_cast<int>(entry)];
  return fn != nullptr && fn(code) != 0;
}

std::string ConnectionLibraryPath() {
  return InstallationFolder() + "Dialgate" + kSharedLibrarySuffix;
}

}  // namespace pw::platform
