// "Показать скриншот с АЗС" (office only): one picture of the station's
// whole screen, "GET_SCREENSHOT" with the colour depth e_ScrSHOTquality, the
// station's size line and GIF bytes, shown in the message window's modal
// viewer while the session stays open. Runs on the main thread, from the
// menu, and holds it until the operator closes the viewer.
#pragma once

#include <cstdint>
#include <string>

#include "interactive/send_services.h"

namespace pw {
class Worker;
}

namespace pw::interactive {

class TInteractiveForm;

// The start line "Запрос скриншота " + address + " " + port, then the
// exchange in the command frame; the session is closed with the window's
// DisconnectFromServer afterwards, also when it could not be opened. A size
// line that is not a number, negative or above protocol::kMaxPictureSize
// (checked before anything is allocated), and bytes that are not a GIF
// picture within the caps end the command with "Ошибка обмена информацией : "
// + the error's text; no viewer opens then.
// The viewer opens on the main thread (handed over when the exchange runs
// elsewhere). stop: when given, its stop closes the connection at once.
void RequestScreenshot(const SendServices& services, TInteractiveForm& messages,
                       const std::string& address, std::int32_t port, Worker* stop = nullptr);

}  // namespace pw::interactive
