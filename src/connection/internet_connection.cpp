#include "connection/internet_connection.h"

#include <atomic>
#include <condition_variable>
#include <string>

#include "sync/mutex.h"
#include "platform/connected_state.h"
#include "platform/connection_library.h"
#include "platform/dial_up.h"
#include "services/settings.h"
#include "text/cp1251.h"

namespace pw::connection {

using platform::ConnectionEntry;

// The process's one dialer with the notifications it has had. The counts
// only grow, so a dial waits for a count to pass the value it saw before it
// started: a notification of an earlier dial never ends a later wait, and
// nothing is ever cleared under a waiting thread.
class InternetConnection::SharedDialer {
 public:
  explicit SharedDialer(platform::DialUpService& dial_up)
      : dialer_(dial_up.CreateDialer({[this] { Notify(/*connected=*/true); },
                                      [this] { Notify(/*connected=*/false); }})) {}

  platform::Dialer& dialer() { return *dialer_; }

  struct Mark {
    std::uint64_t connected, failed;
  };
  Mark Now() {
    MutexLock lock(mu_);
    return {connected_, failed_};
  }
  // True when a notification came after mark, false when the time ran out.
  bool WaitPast(Mark mark, std::chrono::milliseconds limit) {
    MutexLock lock(mu_);
    return changed_.wait_for(mu_, limit, [&] {
      mu_.AssertHeld();  // the wait holds it while it asks
      return connected_ != mark.connected || failed_ != mark.failed;
    });
  }

 private:
  void Notify(bool connected) {
    {
      MutexLock lock(mu_);
      ++(connected ? connected_ : failed_);
    }
    changed_.notify_all();
  }

  Mutex mu_;
  std::condition_variable_any changed_;
  std::uint64_t connected_ GUARDED_BY(mu_) = 0;
  std::uint64_t failed_ GUARDED_BY(mu_) = 0;
  std::unique_ptr<platform::Dialer> dialer_;  // last: its notifications use the above
};

InternetConnection::InternetConnection(const platform::ConnectionLibrary* library,
                                       platform::ConnectedStateQuery& state,
                                       platform::DialUpService& dial_up, const Settings& settings)
    : library_(library), state_(state), dial_up_(dial_up), settings_(settings) {}

InternetConnection::~InternetConnection() = default;

bool InternetConnection::LibConnect() const {
  return library_ != nullptr && library_->Call(ConnectionEntry::Connect, kCallerCode);
}
bool InternetConnection::LibDisconnect() const {
  return library_ != nullptr && library_->Call(ConnectionEntry::Disconnect, kCallerCode);
}
bool InternetConnection::LibGetConnectState() const {
  return library_ != nullptr && library_->Call(ConnectionEntry::GetConnectState, kCallerCode);
}
bool InternetConnection::LibAutoDisconnectValue() const {
  return library_ != nullptr && library_->Call(ConnectionEntry::AutoDisconnectValue, kCallerCode);
}

bool InternetConnection::EnsureInternetConnection(const LogLine& log) {
  using namespace platform;
  std::uint32_t flags = kConnectionModem | kConnectionLan | kConnectionProxy;
  if (state_.GetConnectedState(flags) &&
      (flags & (kConnectionModem | kConnectionLan | kConnectionProxy)) != 0) {
    log("Соединение с интернет..."_w);
    return true;
  }
  DialPhonebookEntry(log);
  // A LAN alone was there before the dial and did not do: only a modem or
  // proxy connection counts now, whatever the call itself reports.
  flags = kConnectionModem | kConnectionLan | kConnectionProxy;
  state_.GetConnectedState(flags);
  if ((flags & (kConnectionModem | kConnectionProxy)) != 0) return true;
  log("Соединение с интернет не установлено"_w);
  return false;
}

InternetConnection::SharedDialer& InternetConnection::Dialer() {
  std::call_once(dialer_once_, [this] { dialer_ = std::make_unique<SharedDialer>(dial_up_); });
  return *dialer_;
}

void InternetConnection::DialPhonebookEntry(const LogLine& log) {
  try {
    log("Соединение с Internet..."_w);
    SharedDialer& shared = Dialer();
    platform::DialParams params = shared.dialer().LoadEntry(settings_.PhonebookEntry.get());
    if (settings_.UserData) {
      params.user_name = settings_.IntLogin.get();
      params.password = settings_.IntPassword.get();
    }
    if (settings_.ShowDialUp) {
      shared.dialer().DialWithDialog(params);
      return;
    }
    const SharedDialer::Mark before = shared.Now();
    if (shared.dialer().StartDial(params) != 0) return;
    // The dial has no time limit of its own; an exchange must not hang on
    // a dial that never reports back.
    const std::int32_t configured = settings_.DialTimeOut;
    const std::chrono::milliseconds limit =
        configured > 0 ? std::chrono::milliseconds(configured) : kDefaultDialWait;
    if (!shared.WaitPast(before, limit))
      log(std::string("Соединение с Internet не установлено за отведённое время ("_w) +
          std::to_string(limit.count()) + std::string(" мс)"_w));
  } catch (...) {
    log("Ошибка:"_w);
  }
}

bool InternetConnection::ConnectBeforeExchange(const LogLine& log) {
  return LibraryPresent() ? LibConnect() : EnsureInternetConnection(log);
}

void InternetConnection::DisconnectAfterExchange() {
  if (LibraryPresent() && LibGetConnectState() && LibAutoDisconnectValue()) LibDisconnect();
}

namespace {

std::atomic<InternetConnection*> installed{nullptr};

InternetConnection& ProcessConnection() {
  if (InternetConnection* c = installed.load()) return *c;
  static InternetConnection without_library(nullptr, platform::SystemConnectedState(),
                                            platform::SystemDialUp(), TheSettings());
  return without_library;
}

}  // namespace

bool ConnectBeforeExchange(const LogLine& log) { return ProcessConnection().ConnectBeforeExchange(log); }

void DisconnectAfterExchange() { ProcessConnection().DisconnectAfterExchange(); }

bool ProcessLibraryPresent() { return ProcessConnection().LibraryPresent(); }

std::vector<std::string> ProcessPhonebookEntries() { return ProcessConnection().PhonebookEntries(); }

std::vector<std::string> InternetConnection::PhonebookEntries() const {
  return dial_up_.PhonebookEntries();
}

void InstallProcessConnection(InternetConnection* connection) { installed.store(connection); }

}  // namespace pw::connection
