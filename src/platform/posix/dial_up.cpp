#include "platform/dial_up.h"

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::platform {

namespace {

// There is no dial-up phonebook on this system: nothing to list, nothing to
// dial. Dialing fails at the entry's parameters, as for an unknown entry.
class NoPhonebookDialer final : public Dialer {
 public:
  DialParams LoadEntry(const std::string& entry) override {
    throw Error(std::string("Нет телефонной книги удалённого доступа: "_w) + entry);
  }
  int StartDial(const DialParams&) override { return kNoPhonebook; }
  bool DialWithDialog(const DialParams&) override { return false; }

 private:
  static constexpr int kNoPhonebook = 623;  // the system's "phonebook entry not found"
};

class NoPhonebookDialUp final : public DialUpService {
 public:
  std::vector<std::string> PhonebookEntries() override { return {}; }
  std::unique_ptr<Dialer> CreateDialer(DialNotifications) override {
    return std::make_unique<NoPhonebookDialer>();
  }
};

}  // namespace

DialUpService& SystemDialUp() {
  static NoPhonebookDialUp service;
  return service;
}

}  // namespace pw::platform
