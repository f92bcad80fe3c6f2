#include "office/report_exchange_thread.h"

#include <exception>

#include "connection/internet_connection.h"
#include "protocol/session.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

namespace {

// Keeps the worker's stop pointed at a client only while the client lives.
class StopClosesClient {
 public:
  StopClosesClient(Worker& worker, protocol::Session& client) : worker_(worker) {
    worker_.on_stop([&client] { client.Cancel(); });
  }
  ~StopClosesClient() { worker_.on_stop({}); }
  StopClosesClient(const StopClosesClient&) = delete;
  StopClosesClient& operator=(const StopClosesClient&) = delete;

 private:
  Worker& worker_;
};

}  // namespace

void MyTthreadOf(Worker& worker, const ReportExchange& exchange, const std::string& address_text) {
  try {
    const bool connected = connection::ConnectBeforeExchange(exchange.log);
    {
      protocol::Session client;  // OfficeClient, this exchange's own
      StopClosesClient stop(worker, client);
      if (connected && !worker.stop_requested()) RunReportExchange(client, exchange, address_text);
    }
    connection::DisconnectAfterExchange();
  } catch (const std::exception& e) {
    try {
      exchange.log(std::string("Ошибка обмена информацией : "_w) + text::VisibleText(e.what()));
    } catch (const std::exception&) {
      // The log file cannot be written: nothing more to say.
    }
  }
}

void StartReportExchange(WorkerThreads& workers, ReportExchange exchange, std::string address_text) {
  workers.Start([exchange = std::move(exchange), text = std::move(address_text)](Worker& worker) {
    MyTthreadOf(worker, exchange, text);
  });
}

}  // namespace pw::office
