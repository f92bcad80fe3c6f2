#include "interactive/screenshot_request.h"

#include "interactive/command_frame.h"
#include "interactive/gif_decoder.h"
#include "interactive/interactive_form.h"
#include "protocol/body_transfer.h"
#include "services/settings.h"
#include "text/cp1251.h"
#include "ui/dispatcher.h"

namespace pw::interactive {

void RequestScreenshot(const SendServices& services, TInteractiveForm& messages,
                       const std::string& address, std::int32_t port, Worker* stop) {
  services.log(std::string("Запрос скриншота "_w) + address + " " + std::to_string(port));
  RunCommandFrame(
      services, address, port, Tail::Apply,
      [&](protocol::Session& client, const std::string& station) {
        client.WriteLine("GET_SCREENSHOT");
        client.WriteNumberLine(TheSettings().e_ScrSHOTquality.load());
        const std::int32_t size = protocol::ReadPictureSize(client);
        const std::string bytes = protocol::ReceivePicture(client, size);
        auto picture = DecodeGif(bytes);
        ui::Dispatcher::instance().run_sync([&] {
          messages.Screenshot = std::move(picture);
          // The station this request went to: another handshake may have
          // changed the office's latest name while the picture came.
          messages.ShowScreenshot(station);
        });
      },
      stop, Closing::Afterwards);
}

}  // namespace pw::interactive
