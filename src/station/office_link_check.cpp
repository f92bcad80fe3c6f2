#include "station/office_link_check.h"

#include <mutex>

#include "protocol/session.h"
#include "services/event_log.h"
#include "services/locks.h"
#include "services/settings.h"
#include "station/inet_form.h"
#include "station/recipients.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"

namespace pw::station {

OfficeLinkCheck::~OfficeLinkCheck() { Wait(); }

void OfficeLinkCheck::Wait() {
  if (!thread_.joinable()) return;
  auto& dispatcher = ui::Dispatcher::instance();
  // The check logs through the window on the main thread: keep serving it.
  if (dispatcher.on_main_thread()) dispatcher.run_until([this] { return !running_.load(); });
  thread_.join();
}

void OfficeLinkCheck::Start() {
  Wait();
  running_ = true;
  thread_ = std::thread([this, recipients = window_.cb_IP.caption] { Run(recipients); });
}

void OfficeLinkCheck::Run(const std::string& recipients) {
  {
    MutexLock exchange(StationExchangeLock());
    try {
      AddToLog("Обмен отчетами с офисом пока не подключен: проверяется только соединение"_w,
               &window_.log);
      const int count = CountRecipients(recipients);
      for (int k = 0; k < count; ++k) {
        protocol::Session session;
        const std::string address = ExtractStationAddress(GetRecipient(recipients, k));
        if (window_.ConnectToServer(session, address, TheSettings().OutPort))
          window_.DisconnectFromServer(session);
      }
    } catch (...) {
      // A log that cannot be written: nothing more to say.
    }
  }
  window_.exchange_running = false;
  running_ = false;
  ui::Dispatcher::instance().wake();
}

}  // namespace pw::station
