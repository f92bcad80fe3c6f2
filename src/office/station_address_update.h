// Putting a station's new address into the host's station table, once the
// operator has agreed to a station's "SEND_MYIP".
#pragma once

#include <string>

#include "services/plugin_context.h"

namespace pw::office {

// Hosts of interface version 4 and later keep the table themselves and are
// told through UpdateTableField("OFFICE", "AZSIP", station_name), without the
// address; the database is then not opened. Older hosts share the database
// OfficeDB, whose record for the station gets the address directly.
//
// Never raises: any error (host, database) is shown to the operator in a
// message box with the error's text, an empty caption and OK; the calling
// thread waits for it. Any thread.
void UpdateStationAddress(const PluginContext& plugin, const std::string& station_name,
                          const std::string& address);

}  // namespace pw::office
