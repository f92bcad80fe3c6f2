#include "station/auto_send_thread.h"

#include <exception>

#include "connection/internet_connection.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::station {

void MyTthread::Start(WorkerThreads& workers, StationExchange exchange, Mutex& exchange_lock,
                      std::atomic<bool>& running_marker) {
  workers.Start([exchange = std::move(exchange), &exchange_lock, &running_marker](Worker& self) {
    Run(self, exchange, exchange_lock, running_marker);
  });
}

void MyTthread::Run(Worker& self, StationExchange exchange, Mutex& exchange_lock,
                    std::atomic<bool>& running_marker) {
  MutexLock lock(exchange_lock);
  // A stop that came while this thread waited for its turn: nothing to run.
  if (self.stop_requested()) return;
  exchange.stop_requested = [&self] { return self.stop_requested(); };
  try {
    const bool connected = connection::ConnectBeforeExchange(exchange.log);
    {
      protocol::Session client;
      // The stop closes the client for good, so a read that waits for the
      // office fails at once and no later connection is made.
      self.on_stop([&client] { client.Cancel(); });
      struct ClearOnStop {
        Worker& self;
        ~ClearOnStop() { self.on_stop({}); }
      } clear{self};
      if (connected) PrepareAndSendOtchet(client, exchange);
    }
    connection::DisconnectAfterExchange();
    running_marker.store(false);
  } catch (const std::exception& e) {
    try {
      exchange.log(std::string("Ошибка обмена информацией : "_w) + text::VisibleText(e.what()));
    } catch (...) {
      // The log cannot be written: nothing more to tell.
    }
  }
}

}  // namespace pw::station
