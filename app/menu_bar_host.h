// The folder host whose main menu is the application window's real menu
// bar: GetMainMenu answers the bar, CreateMenuItem appends a real item.
#pragma once

#include "app/plugin_api.h"

#include "app/menu_bar.h"
#include "host/folder_host.h"

namespace pw::app {

class MenuBarHost : public host::FolderHost {
 public:
  MenuBarHost(std::string host_folder, std::string own_name, int interface_version,
              std::function<void(const std::string&)> print, MenuBar& bar)
      : FolderHost(std::move(host_folder), std::move(own_name), interface_version, std::move(print)),
        bar_(bar) {}

  PwMenuItem& MainMenu() override { return bar_.root(); }
  PwMenuItem& AppendItem(PwMenuItem& parent) override {
    return bar_.Append(static_cast<MenuBarItem&>(parent));
  }

 private:
  MenuBar& bar_;
};

}  // namespace pw::app
