#include "interactive/tv_session.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <optional>
#include <utility>

#include "connection/internet_connection.h"
#include "interactive/gif_decoder.h"
#include "interactive/jpeg_decoder.h"
#include "protocol/body_transfer.h"
#include "protocol/handshake.h"
#include "protocol/session.h"
#include "services/settings.h"
#include "services/wire_context.h"
#include "services/worker_threads.h"
#include "sync/mutex.h"
#include "text/cp1251.h"
#include "text/visible_text.h"
#include "ui/dispatcher.h"
#include "ui/operator.h"

namespace pw::interactive {

// What the thread shares with the viewer's close and the plug-in's stop,
// which may come while the session object is being destroyed.
struct TThreadTVazs::Shared {
  protocol::Session client;
  std::atomic<bool> finished{false};

  // The viewer was closed or the plug-in stops: the connection is closed
  // so a read under way fails at once, and a pause under way ends.
  void End() LOCKS_EXCLUDED(mu) {
    {
      MutexLock lock(mu);
      ending = true;
    }
    cv.notify_all();
    client.Cancel();
  }
  bool Ending() LOCKS_EXCLUDED(mu) {
    MutexLock lock(mu);
    return ending;
  }
  // Sleeps for pause, or until End.
  void Pause(std::chrono::milliseconds pause) LOCKS_EXCLUDED(mu) {
    const auto until = std::chrono::steady_clock::now() + pause;
    MutexLock lock(mu);
    while (!ending && cv.wait_until(mu, until) != std::cv_status::timeout) {
    }
  }

  Mutex mu;
  std::condition_variable_any cv;
  bool ending GUARDED_BY(mu) = false;
};

TThreadTVazs::TThreadTVazs(TVServices services)
    : services_(std::move(services)), shared_(std::make_shared<Shared>()) {}

TThreadTVazs::~TThreadTVazs() {
  ui::Dispatcher& dispatcher = ui::Dispatcher::instance();
  const auto finished = [shared = shared_] { return shared->finished.load(); };
  if (Form) {
    Form->FormClose();
    dispatcher.wait_for_workers(finished, services_.close_pause);
  }
  dispatcher.wait_for_workers(finished);
  Form.reset();
}

bool TThreadTVazs::Finished() const { return shared_->finished.load(); }

void TThreadTVazs::Start(WorkerThreads& workers) {
  if (Form) Form->on_viewer_closed = [shared = shared_] { shared->End(); };
  try {
    workers.Start([this](Worker& worker) { Execute(worker); });
  } catch (...) {
    shared_->finished = true;
    throw;
  }
}

void TThreadTVazs::FetchFrame(double& total) {
  const Settings& settings = TheSettings();
  const int q = settings.e_TypeTV.load() == 1 ? 0 : settings.e_JPGcompress.load();
  int width = 0;
  int height = 0;
  ui::RunOnMainThread([&] {
    width = Form->client_width;
    height = Form->client_height;
  });
  protocol::Session& client = shared_->client;
  client.WriteLine("GET_TVSHOT");
  client.WriteNumberLine(width);
  client.WriteNumberLine(height - TTVForm::kInfoRoom);
  client.WriteNumberLine(settings.e_ScrSHOTquality.load());
  client.WriteNumberLine(q);
  const std::int32_t size = protocol::ReadPictureSize(client);
  const std::string bytes = protocol::ReceivePicture(client, size);
  platform::PixelImage frame = q != 0 ? DecodeJpeg(bytes) : DecodeGif(bytes);
  total += size / 1000.0;
  ui::RunOnMainThread([&] {
    if (q != 0) {
      Form->GifFrame = {};
      Form->JpegFrame = std::move(frame);
    } else {
      Form->JpegFrame.reset();
      Form->GifFrame = std::move(frame);
    }
    Form->TrafficTotal = total;
    Form->ShowFrame();
  });
  shared_->Pause(std::chrono::milliseconds(settings.e_TVrefresh.load()));
}

void TThreadTVazs::Execute(Worker& worker) {
  Shared& shared = *shared_;
  worker.on_stop([s = shared_] { s->End(); });
  try {
    // The session is tried whatever the connection step says.
    (void)connection::ConnectBeforeExchange(services_.window_log);
    const WireContext wire = CurrentWireContext();
    protocol::ConnectorHandshake(shared.client, Address, Port,
                                 {wire, protocol::Connector::TV, nullptr, {}, 0});
    double total = 0;
    while (!shared.Ending()) {
      try {
        FetchFrame(total);
      } catch (const std::exception& e) {
        // A connection closed by the viewer's close or the plug-in's stop
        // is no link error: the session just ends.
        if (shared.Ending()) break;
        const std::string text = e.what();
        ui::RunOnMainThread([&] {
          Form->caption = text;
          Form->ShowLinkError();
        });
        shared.Pause(services_.link_error_pause);
        break;
      }
    }
    shared.client.Disconnect();
    connection::DisconnectAfterExchange();
  } catch (const std::exception& e) {
    try {
      services_.log(std::string("Ошибка обмена информацией : "_w) + text::VisibleText(e.what()));
    } catch (const std::exception&) {
      // The log file cannot be written: nothing more to tell.
    }
  }
  shared.client.Disconnect();
  worker.on_stop({});
  // Always last: the viewer goes on the main thread.
  try {
    ui::RunOnMainThread([this] { Form.reset(); });
  } catch (const std::exception&) {
    // The main thread is gone: the session's destruction frees it.
  }
  shared.finished = true;
  ui::Dispatcher::instance().wake();
}

namespace {

constexpr std::string_view OutOfTableStart = "ТВ АЗС: номер АЗС "_w;
constexpr std::string_view OutOfTableEnd = " вне пределов 0..100, наблюдение не начато"_w;

}  // namespace

void StartStationTV(TVSessionTable& sessions, WorkerThreads& workers, const TVServices& services,
                    const std::string& address, std::int32_t port, const std::string& station_name,
                    std::int32_t station_number) {
  ui::Operator& op = ui::Operator::instance();
  if (station_number < 0 || station_number > kMaxTVStation) {
    std::string text(OutOfTableStart);
    text += std::to_string(station_number);
    text += OutOfTableEnd;
    services.log(text);
    op.ShowMessageBox("", text, ui::Buttons::Ok);
    return;
  }
  std::unique_ptr<TThreadTVazs>& slot = sessions[static_cast<std::size_t>(station_number)];
  if (slot && slot->Form && slot->Form->visible) {
    const std::string_view text = "За данной АЗС уже ведется видеонаблюдение"_w;
    ui::BoxRequest box{"", std::string(text)};
    box.owned = false;
    op.ShowMessageBox(box);
    slot->Form->BringToFront();
    return;
  }
  slot.reset();
  slot = std::make_unique<TThreadTVazs>(services);
  slot->Address = address;
  slot->Port = port;
  slot->Form = std::make_unique<TTVForm>();
  slot->Form->SetStationNumber(station_number);
  slot->Form->caption = station_name + std::string(" (ТВ АЗС)"_w);
  slot->Form->Show();
  slot->Start(workers);
}

}  // namespace pw::interactive
