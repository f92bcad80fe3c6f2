#include "platform/dial_up.h"

#include <winsock2.h>
#include <windows.h>
#include <ras.h>
#include <rasdlg.h>
#include <raserror.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_error.h"
#include "sync/mutex.h"

namespace pw::platform {

namespace {

// The size of the dial parameters every system since Windows 2000 accepts
// (without the interface index of Windows 7).
constexpr DWORD kDialParamsSize = offsetof(RASDIALPARAMSW, dwIfIndex);

// The RAS codes (600 and up) have their texts with RAS, not with the system.
[[noreturn]] void ThrowRasError(const std::string& call, const std::string& subject, DWORD err) {
  wchar_t buf[512];
  if (::RasGetErrorStringW(err, buf, 512) != ERROR_SUCCESS) ThrowWin32Error(call, subject, err);
  std::string text = call;
  if (!subject.empty()) text += " " + subject;
  throw Error(text + ": " + Narrow(buf));
}

template <std::size_t N>
void CopyTo(WCHAR (&field)[N], const std::string& value) {
  const std::wstring wide = Wide(value);
  const std::size_t n = std::min(wide.size(), N - 1);
  wide.copy(field, n);
  field[n] = L'\0';
}

// The dialers' notifications by callback id. RAS reports on a thread of its
// own and may do so after a dialer has gone: a report for an id that is no
// longer here is dropped, and a dialer leaves only once no report of its is
// being delivered.
class DialReports {
 public:
  ULONG_PTR Add(DialNotifications notifications) {
    MutexLock lock(mu_);
    const ULONG_PTR id = next_id_++;
    entries_[id].notifications = std::move(notifications);
    return id;
  }

  void Remove(ULONG_PTR id) {
    MutexLock lock(mu_);
    delivered_.wait(mu_, [&] {
      mu_.AssertHeld();  // the wait holds it while it asks
      return entries_[id].delivering == 0;
    });
    entries_.erase(id);
  }

  void Deliver(ULONG_PTR id, bool connected) {
    std::function<void()> report;
    {
      MutexLock lock(mu_);
      const auto it = entries_.find(id);
      if (it == entries_.end()) return;
      report = connected ? it->second.notifications.connected : it->second.notifications.dial_error;
      ++it->second.delivering;
    }
    try {
      if (report) report();
    } catch (...) {
      // Nothing may leave through the system's thread.
    }
    {
      MutexLock lock(mu_);
      --entries_[id].delivering;
    }
    delivered_.notify_all();
  }

 private:
  struct Entry {
    DialNotifications notifications;
    int delivering = 0;
  };
  Mutex mu_;
  std::condition_variable_any delivered_;
  std::map<ULONG_PTR, Entry> entries_ GUARDED_BY(mu_);
  ULONG_PTR next_id_ GUARDED_BY(mu_) = 1;
};

// Never destroyed: a report may come while the process ends.
DialReports& Reports() {
  static DialReports* const reports = new DialReports;
  return *reports;
}

// RasDialFunc2: the callback id is the dialer's id in Reports().
DWORD WINAPI OnDialEvent(ULONG_PTR id, DWORD /*sub_entry*/, HRASCONN /*connection*/,
                         UINT /*message*/, RASCONNSTATE state, DWORD error,
                         DWORD /*extended_error*/) {
  // No paused states were asked for; one would wait for an answer forever.
  if (error != 0 || state == RASCS_Disconnected || (state & RASCS_PAUSED) != 0) {
    Reports().Deliver(id, /*connected=*/false);
    return 0;  // the dial is over: no more reports
  }
  if (state == RASCS_Connected) {
    Reports().Deliver(id, /*connected=*/true);
    return 0;
  }
  return 1;
}

// Ends a connection or a dial and waits for RAS to let go of it: until then
// it may still call back. RAS has no event for that; the wait is bounded.
void HangUp(HRASCONN connection) {
  ::RasHangUpW(connection);
  RASCONNSTATUSW status{};
  status.dwSize = sizeof status;
  for (int i = 0; i < 300 && ::RasGetConnectStatusW(connection, &status) != ERROR_INVALID_HANDLE;
       ++i)
    ::Sleep(10);
}

// The names in the phonebooks (the user's and everybody's); the RAS error
// when they cannot be read.
DWORD EntryNames(std::vector<std::wstring>& out) {
  using EntryName = RASENTRYNAMEW;
  std::vector<EntryName> names(1);
  names[0].dwSize = sizeof(EntryName);
  DWORD bytes = sizeof(EntryName), count = 0;
  DWORD err = ::RasEnumEntriesW(nullptr, nullptr, names.data(), &bytes, &count);
  if (err == ERROR_BUFFER_TOO_SMALL) {
    names.assign(bytes / sizeof(EntryName) + 1, EntryName{});
    for (EntryName& name : names) name.dwSize = sizeof(EntryName);
    bytes = static_cast<DWORD>(names.size() * sizeof(EntryName));
    err = ::RasEnumEntriesW(nullptr, nullptr, names.data(), &bytes, &count);
  }
  if (err != ERROR_SUCCESS) return err;
  for (DWORD i = 0; i < count && i < names.size(); ++i) out.emplace_back(names[i].szEntryName);
  return ERROR_SUCCESS;
}

// Whether the phonebooks list entry; true when they cannot be read, so the
// entry's own reading gives the error.
bool IsListed(const std::wstring& entry) {
  std::vector<std::wstring> names;
  if (EntryNames(names) != ERROR_SUCCESS) return true;
  for (const std::wstring& name : names)
    if (::CompareStringOrdinal(name.c_str(), -1, entry.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class RasDialer final : public Dialer {
 public:
  explicit RasDialer(DialNotifications notifications)
      : id_(Reports().Add(std::move(notifications))) {}

  ~RasDialer() override {
    {
      MutexLock lock(mu_);
      ForgetDial();
    }
    Reports().Remove(id_);
  }

  DialParams LoadEntry(const std::string& entry) override {
    // The phonebook must list it: a system with dial-up networking in name
    // only (Wine) answers every entry with empty parameters.
    if (!IsListed(Wide(entry)))
      ThrowRasError("RasGetEntryDialParams", entry, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    RASDIALPARAMSW ras{};
    ras.dwSize = kDialParamsSize;
    CopyTo(ras.szEntryName, entry);
    BOOL has_password = FALSE;
    const DWORD err = ::RasGetEntryDialParamsW(nullptr, &ras, &has_password);
    if (err != ERROR_SUCCESS) ThrowRasError("RasGetEntryDialParams", entry, err);
    DialParams params;
    params.entry = Narrow(ras.szEntryName);
    params.phone_number = Narrow(ras.szPhoneNumber);
    params.callback_number = Narrow(ras.szCallbackNumber);
    params.user_name = Narrow(ras.szUserName);
    params.domain = Narrow(ras.szDomain);
    if (has_password) params.password = Narrow(ras.szPassword);
    ::SecureZeroMemory(&ras, sizeof ras);
    return params;
  }

  int StartDial(const DialParams& params) override {
    MutexLock lock(mu_);
    // Exchanges that dial at once share this dialer: a dial under way
    // serves them all (its report reaches every waiter), and hanging it up
    // for a new one would fail the exchange that started it.
    if (DialUnderWay()) return 0;
    ForgetDial();
    RASDIALPARAMSW ras{};
    ras.dwSize = kDialParamsSize;
    CopyTo(ras.szEntryName, params.entry);
    CopyTo(ras.szPhoneNumber, params.phone_number);
    CopyTo(ras.szCallbackNumber, params.callback_number);
    CopyTo(ras.szUserName, params.user_name);
    CopyTo(ras.szPassword, params.password);
    CopyTo(ras.szDomain, params.domain);
    ras.dwCallbackId = id_;
    HRASCONN connection = nullptr;
    const DWORD err = ::RasDialW(nullptr, nullptr, &ras, 2 /* RasDialFunc2 */,
                                 reinterpret_cast<LPVOID>(&OnDialEvent), &connection);
    ::SecureZeroMemory(&ras, sizeof ras);
    if (err != ERROR_SUCCESS) {
      if (connection != nullptr) HangUp(connection);
      return static_cast<int>(err);
    }
    dial_ = connection;
    return 0;
  }

  // Through RasDialDlgW of rasdlg.dll, loaded when called: a system without
  // it shows no dialog and does not connect. So does Wine, whose rasdlg has
  // the name without a dialog behind it (a call would end the process). The
  // dialog dials with the entry's saved user and password, which the
  // operator may change there.
  bool DialWithDialog(const DialParams& params) override {
    if (UnderWine()) return false;
    const HMODULE library = ::LoadLibraryW(L"rasdlg.dll");
    if (library == nullptr) return false;
    using DialDialog = BOOL(WINAPI*)(LPWSTR, LPWSTR, LPWSTR, LPRASDIALDLG);
    const auto dial_dialog = reinterpret_cast<DialDialog>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, "RasDialDlgW")));
    bool connected = false;
    if (dial_dialog != nullptr) {
      std::wstring entry = Wide(params.entry);
      std::wstring phone = Wide(params.phone_number);
      RASDIALDLG info{};
      info.dwSize = sizeof info;
      connected =
          dial_dialog(nullptr, entry.data(), phone.empty() ? nullptr : phone.data(), &info) != FALSE;
    }
    ::FreeLibrary(library);
    return connected;
  }

 private:
  bool DialUnderWay() const {
    if (dial_ == nullptr) return false;
    RASCONNSTATUSW status{};
    status.dwSize = sizeof status;
    return ::RasGetConnectStatusW(dial_, &status) == ERROR_SUCCESS && status.dwError == 0 &&
           status.rasconnstate != RASCS_Connected && status.rasconnstate != RASCS_Disconnected;
  }

  // A dial that connected stays up (the connection belongs to the station
  // now); one still dialing or failed is hung up, so RAS neither keeps it
  // nor reports on it any more.
  void ForgetDial() {
    if (dial_ == nullptr) return;
    RASCONNSTATUSW status{};
    status.dwSize = sizeof status;
    const bool connected = ::RasGetConnectStatusW(dial_, &status) == ERROR_SUCCESS &&
                           status.rasconnstate == RASCS_Connected && status.dwError == 0;
    if (!connected) HangUp(dial_);
    dial_ = nullptr;
  }

  const ULONG_PTR id_;
  Mutex mu_;
  HRASCONN dial_ GUARDED_BY(mu_) = nullptr;  // the last dial started
};

class RasDialUp final : public DialUpService {
 public:
  std::vector<std::string> PhonebookEntries() override {
    std::vector<std::wstring> names;
    const DWORD err = EntryNames(names);
    if (err != ERROR_SUCCESS) ThrowRasError("RasEnumEntries", "", err);
    std::vector<std::string> entries;
    for (const std::wstring& name : names)
      if (!name.empty()) entries.push_back(Narrow(name));
    return entries;
  }

  std::unique_ptr<Dialer> CreateDialer(DialNotifications notifications) override {
    return std::make_unique<RasDialer>(std::move(notifications));
  }
};

}  // namespace

DialUpService& SystemDialUp() {
  static RasDialUp service;
  return service;
}

}  // namespace pw::platform
