// Scripted stand-ins for the system's connected-state query and dial-up
// networking, for the connection step's dial paths.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "connection/internet_connection.h"
#include "platform/connected_state.h"
#include "platform/dial_up.h"
#include "services/settings.h"
#include "sync/mutex.h"

namespace pw::test {

// Answers in turn from a script; the last answer repeats.
class FakeConnectedState : public platform::ConnectedStateQuery {
 public:
  struct Answer {
    bool success;
    std::uint32_t flags;
  };
  explicit FakeConnectedState(std::vector<Answer> script) : script_(std::move(script)) {}
  bool GetConnectedState(std::uint32_t& flags) override;
  int calls() const { return calls_; }

 private:
  Mutex mu_;
  std::vector<Answer> script_ GUARDED_BY(mu_);
  std::atomic<int> calls_{0};
};

// Entries "Модем" and "Офис" with stored parameters; what a dial does is set
// by its fields before the test starts dialing.
class FakeDialUp : public platform::DialUpService {
 public:
  // ConnectedLater notifies from a thread of its own, racing the wait.
  enum class Outcome { Connected, ConnectedLater, DialError, Silent };
  int start_result = 0;            // what StartDial returns
  Outcome outcome = Outcome::Connected;  // the notification after a started dial
  int rendezvous = 0;  // StartDial waits (up to 10 s) until this many dials have begun

  std::vector<std::string> PhonebookEntries() override { return {"Модем", "Офис"}; }
  std::unique_ptr<platform::Dialer> CreateDialer(platform::DialNotifications n) override;

  int dialers_created() const { return dialers_created_; }
  // Every dial so far, as "dialog|start ENTRY USER PASSWORD".
  std::vector<std::string> dials() const;

 private:
  friend class FakeDialer;
  void Record(std::string dial);
  void AwaitRendezvous();

  std::atomic<int> dialers_created_{0};
  mutable Mutex mu_;
  std::vector<std::string> dials_ GUARDED_BY(mu_);
  std::condition_variable_any dialed_;
};

// The process's connection step on a LAN for as long as it lives: every
// exchange logs "Соединение с интернет..." and goes on, whatever networks the
// machine has.
class ScopedLanConnection {
 public:
  ScopedLanConnection() { connection::InstallProcessConnection(&connection_); }
  ~ScopedLanConnection() { connection::InstallProcessConnection(nullptr); }
  ScopedLanConnection(const ScopedLanConnection&) = delete;
  ScopedLanConnection& operator=(const ScopedLanConnection&) = delete;

 private:
  static constexpr std::uint32_t kLan = 2;
  FakeConnectedState state_{{{true, kLan}}};
  FakeDialUp dial_up_;
  Settings settings_;
  connection::InternetConnection connection_{nullptr, state_, dial_up_, settings_};
};

}  // namespace pw::test
