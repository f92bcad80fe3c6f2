// The connection library is loaded with the plug-in and released with it:
// one PluginConnection lives as a static object of the plug-in library, so
// it is made when the library is loaded into the process (before Load) and
// destroyed when it is unloaded (after UnLoad has stopped every exchange).
// Load and UnLoad would not do: the host may call them more than once while
// the library, and so its connection library, stays.
#pragma once

#include <memory>
#include <string>

namespace pw::platform {
class ConnectionLibrary;
}

namespace pw::connection {

class InternetConnection;

class PluginConnection {
 public:
  // Opens the connection library at platform::ConnectionLibraryPath() (none
  // when it cannot be loaded, silently) and installs the process's
  // InternetConnection over it.
  PluginConnection();
  explicit PluginConnection(const std::string& library_path);
  ~PluginConnection();  // uninstalls, then releases the library
  PluginConnection(const PluginConnection&) = delete;
  PluginConnection& operator=(const PluginConnection&) = delete;

  bool LibraryPresent() const { return library_ != nullptr; }

 private:
  std::unique_ptr<platform::ConnectionLibrary> library_;
  std::unique_ptr<InternetConnection> connection_;
};

}  // namespace pw::connection
