// The process-wide copy of section Inet of cnf.INI. The user-interface thread
// writes it; workers read it while they run. Each setting is one value read
// whole, so numbers and flags are atomics and texts sit behind a small lock
// of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "services/password_scrambling.h"
#include "sync/mutex.h"

namespace pw {

class IniFile;

// A text setting read and written whole from any thread.
class AtomicText {
 public:
  AtomicText() = default;
  explicit AtomicText(std::string value) : value_(std::move(value)) {}
  std::string get() const {
    MutexLock lock(mu_);
    return value_;
  }
  void set(std::string value) {
    MutexLock lock(mu_);
    value_ = std::move(value);
  }

 private:
  mutable Mutex mu_;
  std::string value_ GUARDED_BY(mu_);
};

// Field names are the keys, in the order Load reads them (IPs, the first
// key, is the remembered address list kept by the plug-in state). Their
// initial values, and how each is read and written, are the table of
// settings_keys.h.
struct Settings {
  Settings();  // the initial values

  std::atomic<bool> PasswordEnable;
  AtomicText Password;  // plain text in memory, scrambled in the file
  std::atomic<std::int32_t> ZaprosTimeOut;
  std::atomic<std::int32_t> ReadTimeOut;  // 0 or -1 = no limit
  std::atomic<std::int32_t> ConnectTimeOut;
  std::atomic<std::int32_t> OutPort;
  std::atomic<std::int32_t> InPort;
  std::atomic<bool> showWND;
  std::atomic<bool> useFastDatTravel;
  std::atomic<std::int32_t> InetBuffSize;
  std::atomic<bool> UseDefautConnection;
  AtomicText PhonebookEntry;
  std::atomic<bool> DisconnectOnEnd;
  std::atomic<bool> UserData;
  AtomicText IntLogin;
  std::atomic<bool> ShowDialUp;
  AtomicText IntPassword;  // plain text in memory, scrambled with IntLogin
  std::atomic<std::uint16_t> e_TVrefresh;
  std::atomic<std::uint8_t> e_ScrSHOTquality;
  std::atomic<std::int32_t> e_TypeTV;
  std::atomic<std::uint8_t> e_JPGcompress;
  // Caps on the connections a listener serves at once, in all and from one
  // peer address (a value below 1 counts as the initial one); not in the
  // dialog.
  std::atomic<std::int32_t> MaxConnections;
  std::atomic<std::int32_t> MaxConnectionsPerIP;
  // ms a listener gives a new connection for its whole handshake, from the
  // accept to "OK" or "PASS" (a value below 1 counts as the initial one); not
  // in the dialog.
  std::atomic<std::int32_t> HandshakeTimeOut;
  // ms a listener lets a connection past its handshake wait for its next
  // command (a value below 1 counts as the initial one); not in the dialog.
  std::atomic<std::int32_t> IdleTimeOut;
  // ms an exchange waits for the dial-up entry it dialled to connect (a value
  // below 1 counts as the initial one); not in the dialog. ConnectTimeOut
  // bounds the TCP connect.
  std::atomic<std::int32_t> DialTimeOut;
  // The office's board marks a station with no report since this time of
  // day ("HH:MM"; empty: "09:00"; anything else: no mark); not in the dialog.
  AtomicText ReportDeadline;

  // Not a key: PasswordEnable is on while the stored Password is empty or
  // not in its scrambled form, or PasswordEnable is neither 0 nor 1. Every
  // password is then refused, rather than an empty line being let in.
  std::atomic<bool> PasswordUnusable{false};

  // Back to the initial values.
  void Reset();
};

// The one process-wide copy.
Settings& TheSettings();

inline constexpr std::string_view kSettingsSection = "Inet";

// Full path of cnf.INI in the settings folder.
std::string IniFilePath();

// IPs value -> remembered address list, and back (each entry + TAB).
std::vector<std::string> ParseRememberedAddresses(const std::string& ips);
std::string FormatRememberedAddresses(const std::vector<std::string>& entries);

// Reads IPs into remembered, then every other key in table order, each with
// the value in memory as its default. Raises on a file that cannot be read.
// An absent Password or IntPassword keeps the password in memory (with an
// empty IntLogin, IntPassword is empty whatever the file holds). e_TVrefresh,
// e_ScrSHOTquality and e_JPGcompress outside their range are clamped to it
// (0..65535, 0..255).
void ReadAllSettings(const IniFile& ini, Settings& s, std::vector<std::string>& remembered);

// PasswordEnable, then Password decoded with "qrst".
void ReadPasswordSettings(const IniFile& ini, Settings& s);

// Whether PasswordEnable is in the file as something other than 0 or 1; the
// check then refuses every password (see PasswordUnusable).
bool PasswordSwitchUnusable(const IniFile& ini);

// The keys the settings dialog edits, UseDefautConnection .. IntPassword.
void ReadDialogConnectionSettings(const IniFile& ini, Settings& s);

// Every key but IPs, PasswordEnable and Password, as the dialog's OK stores
// them, in the dialog's order, in one replacement of the file: when it
// raises, the file is as it was.
void WriteDialogSettings(IniFile& ini, const Settings& s);

// What is wrong in section Inet of the file, a line each for the log: a
// number whose value is not a number (the value in memory stays), and a
// password check that can let nobody in (see PasswordUnusable).
std::vector<std::string> SettingsProblems(const IniFile& ini, const Settings& s);

// A line each for the keys of section Inet nobody reads (a misspelt InPort,
// say), for the log; they stay in the file.
std::vector<std::string> UnknownSettingsKeys(const IniFile& ini);

}  // namespace pw
