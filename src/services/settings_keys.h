// The keys of section Inet of cnf.INI, listed once: what the plug-in reads
// there, and so what a host may write there.
#pragma once

#include <array>
#include <string_view>

namespace pw {

struct SettingsKey {
  std::string_view name;
  bool number;  // read as a number (a flag is a number not 0)
};

// In the order Load reads them; IPs is the address box's remembered list.
inline constexpr std::array<SettingsKey, 26> kSettingsKeys = {{
    {"IPs", false},
    {"PasswordEnable", true},
    {"Password", false},
    {"ZaprosTimeOut", true},
    {"ReadTimeOut", true},
    {"ConnectTimeOut", true},
    {"OutPort", true},
    {"InPort", true},
    {"showWND", true},
    {"useFastDatTravel", true},
    {"InetBuffSize", true},
    {"UseDefautConnection", true},
    {"PhonebookEntry", false},
    {"DisconnectOnEnd", true},
    {"UserData", true},
    {"IntLogin", false},
    {"ShowDialUp", true},
    {"IntPassword", false},
    {"e_TVrefresh", true},
    {"e_ScrSHOTquality", true},
    {"e_TypeTV", true},
    {"e_JPGcompress", true},
    {"MaxConnections", true},
    {"MaxConnectionsPerIP", true},
    {"HandshakeTimeOut", true},
    {"DialTimeOut", true},
}};

// Whether key is one of them, letter case aside (as the file's keys are).
bool IsSettingsKey(std::string_view key);

}  // namespace pw
