// The office listener's interactive commands from a station: "SEND_MYIP"
// (the station's new address, put into the host's station table when the
// operator agrees), "SEND_TEXT" (a message: the office window's caption and
// the message window) and "SEND_FILE2" (a file stored in FromAZS). Nothing
// goes back to the station for any of them.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "office/listener_context.h"
#include "protocol/session.h"

namespace pw::office {

struct StationMessages {
  // The log, the progress windows, the registry lookups of every command.
  ListenerContext listener;
  std::string folder;  // FromAZS
  // Yes to the address question: the station table learns the station's
  // new address (errors are the updater's to show). Any thread.
  std::function<void(const std::string& station, const std::string& address)> update_address;
  // The office window's caption becomes text; the caption as it then
  // stands is returned. Any thread; runs on the main thread.
  std::function<std::string(const std::string& text)> set_caption;
  // The message window's notice, with the station that sent it. Any
  // thread; runs on the main thread.
  std::function<void(std::string_view title, std::string_view body, std::string_view station)>
      notify;
};

// "SEND_MYIP": the station is named by the registry alone (possibly
// empty); asks "Запрос с АЗС!" with Yes and No; No changes nothing.
void ServeStationAddress(protocol::Session& session, const StationMessages& messages);

// "SEND_TEXT": reads the message line; it becomes the office window's
// caption and the notice "Получено сообщение от " + station. A read error
// ends the connection (raised).
void ServeStationText(protocol::Session& session, const StationMessages& messages);

// "SEND_FILE2": stores the file in FromAZS, shows "Принят файл от " + station
// with its path and size, and closes the connection. A reception the
// operator stops is not stored (see interactive::ReceiveFile for the name
// and size rules).
void ServeStationFile(protocol::Session& session, const StationMessages& messages);

}  // namespace pw::office
