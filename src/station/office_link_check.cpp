#include "station/office_link_check.h"

#include <chrono>
#include <mutex>

#include "protocol/session.h"
#include "shell/event_log.h"
#include "shell/locks.h"
#include "shell/settings.h"
#include "station/inet_form.h"
#include "station/recipients.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"

namespace pw::station {

namespace {

// A stop ends a check at once (its session is closed); a connect under
// way is bounded by its own time limit.
constexpr std::chrono::milliseconds kStopWait{5000};

}  // namespace

OfficeLinkCheck::~OfficeLinkCheck() {
  if (Idle()) return;
  // The window goes: so do the threads that log to it.
  workers_.StopAll(kStopWait);
  ui::Dispatcher::instance().wait_for_workers([this] { return Idle(); });
}

bool OfficeLinkCheck::Idle() {
  std::lock_guard lock(mu_);
  return running_ == 0;
}

void OfficeLinkCheck::Start() {
  {
    std::lock_guard lock(mu_);
    ++running_;
  }
  try {
    workers_.Start([this, recipients = window_.cb_IP.caption](Worker& worker) {
      Run(worker, recipients);
    });
  } catch (...) {
    std::lock_guard lock(mu_);
    --running_;
    throw;
  }
}

void OfficeLinkCheck::Run(Worker& worker, const std::string& recipients) {
  {
    std::lock_guard exchange(StationExchangeLock());
    try {
      if (!worker.stop_requested())
        AddToLog("Обмен отчетами с офисом пока не подключен: проверяется только соединение"_w,
                 &window_.log);
      const int count = CountRecipients(recipients);
      for (int k = 0; k < count && !worker.stop_requested(); ++k) {
        protocol::Session session;
        worker.on_stop([&session] { session.Cancel(); });
        struct ClearStop {
          Worker& worker;
          ~ClearStop() { worker.on_stop({}); }  // before the session goes
        } clear{worker};
        const std::string address = ExtractStationAddress(GetRecipient(recipients, k));
        if (window_.ConnectToServer(session, address, TheSettings().OutPort))
          window_.DisconnectFromServer(session);
      }
    } catch (...) {
      // A log that cannot be written: nothing more to say.
    }
  }
  // The button's marker belongs to the last check running. Last touch of
  // this object: the destructor waits for the count.
  std::lock_guard lock(mu_);
  if (--running_ == 0) window_.exchange_running = false;
}

}  // namespace pw::station
