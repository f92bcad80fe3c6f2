// The keys of section Inet of cnf.INI, listed once: the field each fills,
// how it is read, written and checked, its initial value, and whether the
// settings dialog writes it. Load, Reset, the dialog's re-reading and
// writing, the problem check and the host's check of its own keys all walk
// this table.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>
#include <variant>

#include "services/settings.h"

namespace pw {

// How a key's value is read from the file and what counts as wrong in it.
enum class SettingKind : std::uint8_t {
  Addresses,       // IPs: the address box's remembered list, kept outside Settings
  PasswordSwitch,  // PasswordEnable: 0 or 1, anything else refuses every password
  OfficePassword,  // Password: scrambled with "qrst", read together with its switch
  Flag,            // written 1 or 0; any number but 0 reads as on
  Number,          // a number; a 16- or 8-bit field takes the nearest value it holds
  Limit,           // a number of which a value below 1 counts as the initial one
  Text,
  DialPassword,    // IntPassword: scrambled with IntLogin as the key
};

// Whether the settings dialog's "Применить" writes the key. The keys it also
// re-reads when it opens (the dial-up ones) are the first it writes.
enum class DialogUse : std::uint8_t { None, Written, ReReadAndWritten };

// The field of Settings that holds a key's value; none for IPs.
using SettingField =
    std::variant<std::monostate, std::atomic<bool> Settings::*, std::atomic<std::int32_t> Settings::*,
                 std::atomic<std::uint16_t> Settings::*, std::atomic<std::uint8_t> Settings::*,
                 AtomicText Settings::*>;

struct SettingsKey {
  std::string_view name;
  SettingField field;
  SettingKind kind;
  std::int32_t initial;  // a flag's 0 or 1; every text starts empty
  DialogUse dialog;
};

// In the order Load reads them.
inline constexpr std::array kSettingsKeys = {
    SettingsKey{"IPs", {}, SettingKind::Addresses, 0, DialogUse::None},
    SettingsKey{"PasswordEnable", &Settings::PasswordEnable, SettingKind::PasswordSwitch, 0, DialogUse::None},
    SettingsKey{"Password", &Settings::Password, SettingKind::OfficePassword, 0, DialogUse::None},
    SettingsKey{"ZaprosTimeOut", &Settings::ZaprosTimeOut, SettingKind::Number, 120000, DialogUse::Written},
    // 0 or -1: reads wait without a limit.
    SettingsKey{"ReadTimeOut", &Settings::ReadTimeOut, SettingKind::Number, 10000, DialogUse::Written},
    SettingsKey{"ConnectTimeOut", &Settings::ConnectTimeOut, SettingKind::Number, 10000, DialogUse::Written},
    SettingsKey{"OutPort", &Settings::OutPort, SettingKind::Number, 6090, DialogUse::Written},
    SettingsKey{"InPort", &Settings::InPort, SettingKind::Number, 6090, DialogUse::Written},
    SettingsKey{"showWND", &Settings::showWND, SettingKind::Flag, 0, DialogUse::Written},
    SettingsKey{"useFastDatTravel", &Settings::useFastDatTravel, SettingKind::Flag, 0, DialogUse::Written},
    SettingsKey{"InetBuffSize", &Settings::InetBuffSize, SettingKind::Number, 128, DialogUse::Written},
    SettingsKey{"UseDefautConnection", &Settings::UseDefautConnection, SettingKind::Flag, 0,
                DialogUse::ReReadAndWritten},
    SettingsKey{"PhonebookEntry", &Settings::PhonebookEntry, SettingKind::Text, 0, DialogUse::ReReadAndWritten},
    SettingsKey{"DisconnectOnEnd", &Settings::DisconnectOnEnd, SettingKind::Flag, 1, DialogUse::ReReadAndWritten},
    SettingsKey{"UserData", &Settings::UserData, SettingKind::Flag, 0, DialogUse::ReReadAndWritten},
    SettingsKey{"IntLogin", &Settings::IntLogin, SettingKind::Text, 0, DialogUse::ReReadAndWritten},
    SettingsKey{"ShowDialUp", &Settings::ShowDialUp, SettingKind::Flag, 1, DialogUse::ReReadAndWritten},
    // After IntLogin, its scrambling key.
    SettingsKey{"IntPassword", &Settings::IntPassword, SettingKind::DialPassword, 0,
                DialogUse::ReReadAndWritten},
    SettingsKey{"e_TVrefresh", &Settings::e_TVrefresh, SettingKind::Number, 1000, DialogUse::Written},
    SettingsKey{"e_ScrSHOTquality", &Settings::e_ScrSHOTquality, SettingKind::Number, 8, DialogUse::Written},
    SettingsKey{"e_TypeTV", &Settings::e_TypeTV, SettingKind::Number, 1, DialogUse::Written},
    SettingsKey{"e_JPGcompress", &Settings::e_JPGcompress, SettingKind::Number, 75, DialogUse::Written},
    // Every connection holds a thread, and a 32-bit process has room for
    // about 1,500 thread stacks of 1 MB: 1024 leaves room for the rest of
    // the application and still takes a whole chain's stations calling at
    // once. A chain's stations may reach the office through one NAT
    // address, so one address may hold a quarter of the whole.
    SettingsKey{"MaxConnections", &Settings::MaxConnections, SettingKind::Limit, 1024, DialogUse::None},
    SettingsKey{"MaxConnectionsPerIP", &Settings::MaxConnectionsPerIP, SettingKind::Limit, 256, DialogUse::None},
    // Room for a connector's operator answering the transfer-mode question;
    // a peer that holds a thread by trickling is cut then.
    SettingsKey{"HandshakeTimeOut", &Settings::HandshakeTimeOut, SettingKind::Limit, 60000, DialogUse::None},
    // A station's connection waits for its next command this long: long
    // enough for any pause of a working station, short enough that one
    // left open does not hold its place under the caps for good.
    SettingsKey{"IdleTimeOut", &Settings::IdleTimeOut, SettingKind::Limit, 1800000, DialogUse::None},
    // Modem and mobile dials take longer than a TCP connect.
    SettingsKey{"DialTimeOut", &Settings::DialTimeOut, SettingKind::Limit, 180000, DialogUse::None},
    SettingsKey{"ReportDeadline", &Settings::ReportDeadline, SettingKind::Text, 0, DialogUse::None},
};

// Whether key is one of them, letter case aside (as the file's keys are).
bool IsSettingsKey(std::string_view key);

// A key's value in memory as the file stores it: a flag as 1 or 0, a number
// in decimal, a password scrambled; empty for IPs.
std::string StoredSettingValue(const Settings& s, const SettingsKey& key);

}  // namespace pw
