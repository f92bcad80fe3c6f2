// Dial-up networking (Windows: the Remote Access Service): the phonebook's
// entries and a dialer that dials one of them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pw::platform {

// The stored dial parameters of a phonebook entry.
struct DialParams {
  std::string entry;
  std::string phone_number;
  std::string callback_number;
  std::string user_name;
  std::string domain;
  std::string password;  // empty unless the system has it saved
};

// A dialer's notifications. They may come on any thread, also while
// StartDial is still running.
struct DialNotifications {
  std::function<void()> connected;
  std::function<void()> dial_error;
};

// One dialer. Its calls may come from several threads at once.
class Dialer {
 public:
  virtual ~Dialer() = default;
  // The stored parameters of entry; raises pw::Error when the entry cannot
  // be read (no such entry, no phonebook).
  virtual DialParams LoadEntry(const std::string& entry) = 0;
  // Starts dialing in the background: 0 = started (a notification follows),
  // anything else = the system's error code (no notification).
  virtual int StartDial(const DialParams& params) = 0;
  // Dials through the system's interactive dial dialog and returns when the
  // operator has finished with it; true when it connected.
  virtual bool DialWithDialog(const DialParams& params) = 0;
};

class DialUpService {
 public:
  virtual ~DialUpService() = default;
  // Names of the phonebook's entries ("" entries never); raises pw::Error
  // when the phonebook cannot be read.
  virtual std::vector<std::string> PhonebookEntries() = 0;
  virtual std::unique_ptr<Dialer> CreateDialer(DialNotifications notifications) = 0;
};

// The system's dial-up networking. Here there is no phonebook: the list is
// empty and loading any entry raises.
DialUpService& SystemDialUp();

}  // namespace pw::platform
