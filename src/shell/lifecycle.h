// What the seven exports do, in C++: the exports themselves only translate
// to and from the C boundary.
#pragma once

#include <cstdint>
#include <string>

#include "pumpwire/plugin.h"

namespace pw {

std::int32_t LoadPlugin(std::uint32_t app_window, std::uint8_t mode, PwHostServices* host);
std::int32_t UnLoadPlugin();
void AutoSendInetStation();
void RefreshPasswordSettings();
void AutoSendInetOffice(const std::string& address);

// "1.02 от 11.11.2008".
const char* VersionText();

}  // namespace pw
