// The Internet connection around one exchange. Every outgoing exchange runs,
// on its own worker thread: ConnectBeforeExchange before it connects (false:
// skip the connection and the work), and DisconnectAfterExchange after it has
// ended without an error.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pw {
struct Settings;
namespace platform {
class ConnectionLibrary;
class ConnectedStateQuery;
class DialUpService;
}  // namespace platform
}  // namespace pw

namespace pw::connection {

// Where the connection step writes its lines: the log list of the connection
// window of the current mode, through AddToLog.
using LogLine = std::function<void(std::string_view)>;

// The code the plug-in passes to every entry point of the connection library.
inline constexpr std::uint8_t kCallerCode = 2;

// The dial wait when DialTimeOut is below 1.
inline constexpr std::chrono::milliseconds kDefaultDialWait{180000};

// The two ways to the Internet: the connection library when it is present,
// else the system's connected state and the dial-up phonebook entry of the
// settings. Every operation may run on several exchange threads at once.
class InternetConnection {
 public:
  // library: nullptr when the connection library is absent. All four are
  // borrowed and must outlive this object.
  InternetConnection(const platform::ConnectionLibrary* library,
                     platform::ConnectedStateQuery& state, platform::DialUpService& dial_up,
                     const Settings& settings);
  ~InternetConnection();
  InternetConnection(const InternetConnection&) = delete;
  InternetConnection& operator=(const InternetConnection&) = delete;

  bool LibraryPresent() const { return library_ != nullptr; }
  // The names of the computer's dial-up phonebook entries; raises pw::Error
  // when the phonebook cannot be read.
  std::vector<std::string> PhonebookEntries() const;

  // The library's entry points with code 2; false when the library lacks
  // the entry point or there is no library.
  bool LibConnect() const;
  bool LibDisconnect() const;
  bool LibGetConnectState() const;
  bool LibAutoDisconnectValue() const;

  // The system's answer, dialing the phonebook entry when it shows no
  // connection. True when the computer is on the Internet.
  bool EnsureInternetConnection(const LogLine& log);

  // Dials PhonebookEntry and waits for the dialer's notification, at most
  // DialTimeOut (kDefaultDialWait when that is 0 or less). Errors are
  // logged as "Ошибка:" and end the dial; nothing is raised but the log's own.
  void DialPhonebookEntry(const LogLine& log);

  // The calling pattern of every exchange.
  bool ConnectBeforeExchange(const LogLine& log);
  void DisconnectAfterExchange();

 private:
  class SharedDialer;
  SharedDialer& Dialer();  // created at the first dial, once

  const platform::ConnectionLibrary* library_;
  platform::ConnectedStateQuery& state_;
  platform::DialUpService& dial_up_;
  const Settings& settings_;
  std::once_flag dialer_once_;
  std::unique_ptr<SharedDialer> dialer_;  // set once under dialer_once_
};

// The connection step of this process: the one ProcessConnection installed
// (the plug-in's, with its connection library), or else one without a
// library over the system's services.
bool ConnectBeforeExchange(const LogLine& log);
void DisconnectAfterExchange();
// What the settings dialog shows of it.
bool ProcessLibraryPresent();
std::vector<std::string> ProcessPhonebookEntries();

// Makes connection the process's, or (nullptr) goes back to the one without
// a library. Only while no exchange runs.
void InstallProcessConnection(InternetConnection* connection);

}  // namespace pw::connection
