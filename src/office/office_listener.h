// The office listener (IdTCPServer2 of the office window): the listener of
// protocol/listener.h with the office's command words and its side of the
// handshake, which registers the station; every end of a connection is
// logged and clears LastStationName.
#pragma once

#include <string_view>

#include "protocol/listener.h"

namespace pw::office {

class TInetOfficeForm;

// The command words of the office, in the order a line is compared with them.
inline constexpr std::string_view kOfficeCommandWords[] = {
    "TRY_GET_ZAPROS", "Send_file", "SEND_MYIP", "SEND_TEXT", "SEND_FILE2"};

class OfficeListener : public protocol::Listener {
 public:
  // The window must outlive the listener.
  explicit OfficeListener(TInetOfficeForm& window);

  // The office window's name for SetHandler.
  bool SetCommandHandler(std::string_view word, Handler handler) {
    return SetHandler(word, std::move(handler));
  }
};

}  // namespace pw::office
