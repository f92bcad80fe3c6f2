// The station listener's interactive commands from the office: "SEND_MYIP"
// (the office's new address, adopted when the operator agrees), "SEND_TEXT"
// (a message shown in the message window) and "SEND_FILE2" (a file stored in
// FromOffice). Nothing goes back to the office for any of them.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "protocol/body_transfer.h"
#include "protocol/session.h"
#include "services/wire_context.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

struct OfficeMessages {
  // A line to the station window's log, and the list for the framing's own.
  std::function<void(std::string_view)> log;
  ui::ListBox* log_list = nullptr;
  protocol::ProgressFactory progress;
  std::string folder;  // FromOffice
  std::function<WireContext()> wire = CurrentWireContext;
  // Yes to the address question: the office is reached at address from now
  // on (cb_IP and the remembered list). Any thread; runs on the main thread.
  std::function<void(const std::string& address)> adopt_address;
  // The message window's notice. Any thread; runs on the main thread.
  std::function<void(std::string_view title, std::string_view body)> notify;
};

// "SEND_MYIP": asks "Запрос с Офиса!" with Yes and No; Yes adopts the
// connection's peer address, No changes nothing.
void ServeOfficeAddress(protocol::Session& session, const OfficeMessages& messages);

// "SEND_TEXT": reads the message line (line breaks travel as lone CRs) and
// shows it as "Получено сообщение из ОФиса!". A read error ends the
// connection (raised).
void ServeOfficeText(protocol::Session& session, const OfficeMessages& messages);

// "SEND_FILE2": stores the file in FromOffice, shows "Принят файл из Офиса"
// with its path and size, and closes the connection (see
// interactive::ReceiveFile for the name and size rules).
void ServeOfficeFile(protocol::Session& session, const OfficeMessages& messages);

}  // namespace station
}  // namespace pw
