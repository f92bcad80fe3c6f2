#include "fake_dial_up.h"

#include <thread>

#include "platform/error.h"

namespace pw::test {

bool FakeConnectedState::GetConnectedState(std::uint32_t& flags) {
  MutexLock lock(mu_);
  ++calls_;
  const Answer a = script_.front();
  if (script_.size() > 1) script_.erase(script_.begin());
  flags = a.flags;
  return a.success;
}

class FakeDialer : public platform::Dialer {
 public:
  FakeDialer(FakeDialUp& owner, platform::DialNotifications n)
      : owner_(owner), notifications_(std::move(n)) {}
  ~FakeDialer() override {
    for (auto& t : later_) t.join();
  }

  platform::DialParams LoadEntry(const std::string& entry) override {
    if (entry != "Модем" && entry != "Офис") throw Error("no entry " + entry);
    return {entry, "0123", "", "stored-user", "", "stored-password"};
  }

  int StartDial(const platform::DialParams& p) override {
    owner_.Record("start " + p.entry + " " + p.user_name + " " + p.password);
    owner_.AwaitRendezvous();
    if (owner_.start_result != 0) return owner_.start_result;
    // Notifies at once, as a dial that is quick, or never.
    if (owner_.outcome == FakeDialUp::Outcome::Connected) notifications_.connected();
    if (owner_.outcome == FakeDialUp::Outcome::DialError) notifications_.dial_error();
    if (owner_.outcome == FakeDialUp::Outcome::ConnectedLater) {
      MutexLock lock(later_mu_);
      later_.emplace_back([this] { notifications_.connected(); });
    }
    return 0;
  }

  bool DialWithDialog(const platform::DialParams& p) override {
    owner_.Record("dialog " + p.entry + " " + p.user_name + " " + p.password);
    return true;
  }

 private:
  FakeDialUp& owner_;
  platform::DialNotifications notifications_;
  Mutex later_mu_;
  std::vector<std::thread> later_ GUARDED_BY(later_mu_);
};

std::unique_ptr<platform::Dialer> FakeDialUp::CreateDialer(platform::DialNotifications n) {
  ++dialers_created_;
  return std::make_unique<FakeDialer>(*this, std::move(n));
}

std::vector<std::string> FakeDialUp::dials() const {
  MutexLock lock(mu_);
  return dials_;
}

void FakeDialUp::Record(std::string dial) {
  {
    MutexLock lock(mu_);
    dials_.push_back(std::move(dial));
  }
  dialed_.notify_all();
}

void FakeDialUp::AwaitRendezvous() {
  MutexLock lock(mu_);
  dialed_.wait_for(mu_, std::chrono::seconds(10),
                   [&] {
                     mu_.AssertHeld();  // the wait holds it while it asks
                     return static_cast<int>(dials_.size()) >= rendezvous;
                   });
}

}  // namespace pw::test
