#include "office/station_address_update.h"

#include <exception>

#include "platform/station_table.h"
#include "services/folders.h"
#include "ui/operator.h"

namespace pw::office {

namespace {

// The first interface version whose host keeps the station table itself.
constexpr std::int32_t kHostKeepsTable = 4;

}  // namespace

void UpdateStationAddress(const PluginContext& plugin, const std::string& station_name,
                          const std::string& address) {
  try {
    const HostServices& host = plugin.Host();
    if (host.GetInterfaceVersion() >= kHostKeepsTable)
      host.UpdateTableField("OFFICE", "AZSIP", station_name);
    else
      platform::UpdateStationAddress(CurrentFolders().office_db, station_name, address);
  } catch (const std::exception& e) {
    ui::Operator::instance().ShowMessageBox(std::string(), e.what(), ui::Buttons::Ok);
  }
}

}  // namespace pw::office
