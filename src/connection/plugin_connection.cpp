#include "connection/plugin_connection.h"

#include "connection/internet_connection.h"
#include "platform/connected_state.h"
#include "platform/connection_library.h"
#include "platform/dial_up.h"
#include "services/settings.h"

namespace pw::connection {

PluginConnection::PluginConnection() : PluginConnection(platform::ConnectionLibraryPath()) {}

PluginConnection::PluginConnection(const std::string& library_path)
    : library_(platform::ConnectionLibrary::Open(library_path)),
      connection_(std::make_unique<InternetConnection>(library_.get(),
                                                       platform::SystemConnectedState(),
                                                       platform::SystemDialUp(), TheSettings())) {
  InstallProcessConnection(connection_.get());
}

PluginConnection::~PluginConnection() { InstallProcessConnection(nullptr); }

}  // namespace pw::connection
