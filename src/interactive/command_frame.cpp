#include "interactive/command_frame.h"

#include <exception>

#include "connection/internet_connection.h"
#include "services/worker_threads.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::interactive {

namespace {

// Keeps a worker's stop pointed at the client only while the client lives.
class StopClosesClient {
 public:
  StopClosesClient(Worker* worker, protocol::Session& client) : worker_(worker) {
    if (worker_ != nullptr) worker_->on_stop([&client] { client.Cancel(); });
  }
  ~StopClosesClient() {
    if (worker_ != nullptr) worker_->on_stop({});
  }
  StopClosesClient(const StopClosesClient&) = delete;
  StopClosesClient& operator=(const StopClosesClient&) = delete;

 private:
  Worker* worker_;
};

}  // namespace

void RunCommandFrame(const SendServices& services, const std::string& address, int port,
                     Tail tail,
                     const std::function<void(protocol::Session&, const std::string& peer_name)>& exchange,
                     Worker* worker, Closing closing) {
  try {
    const bool ok = connection::ConnectBeforeExchange(services.window_log);
    {
      protocol::Session client;
      StopClosesClient stop(worker, client);
      const bool stopping = worker != nullptr && worker->stop_requested();
      std::string peer_name;
      if (ok && !stopping && services.connect(client, address, port, peer_name))
        exchange(client, peer_name);
      if (closing == Closing::Afterwards) services.disconnect(client);
    }
    if (tail == Tail::Apply) connection::DisconnectAfterExchange();
  } catch (const std::exception& e) {
    try {
      services.log(std::string("Ошибка обмена информацией : "_w) + text::VisibleText(e.what()));
    } catch (const std::exception&) {
      // The log file cannot be written: nothing more to tell.
    }
  }
}

}  // namespace pw::interactive
