// The report exchange a station starts on its own (PrepareAndSendOtchet):
// for each office of the address box it connects, asks "TRY_GET_ZAPROS",
// stores the request in the office folder, has its host turn it into a
// report and sends that back with "Send_file" (SendFileToServer). A report
// goes out only in answer to a request.
//
// Runs on the automatic send thread; everything it needs comes in through
// StationExchange, so it reaches no process-wide state of its own.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "protocol/body_transfer.h"
#include "protocol/session.h"
#include "station/station_services.h"

namespace pw {
namespace ui {
class ListBox;
}

namespace station {

struct StationExchange : StationServices {
  // OutPort, read anew for every recipient.
  std::function<int()> out_port = [] { return 0; };
  // The text of the address box, read on the main thread; read anew for
  // every recipient.
  std::function<std::string()> address_box;
  // The window's outgoing connection steps (they log their own lines).
  std::function<bool(protocol::Session&, const std::string& host, int port)> connect;
  std::function<bool(protocol::Session&)> disconnect;
  // AutoMode: set when the host started this exchange; taken (cleared) here.
  std::atomic<bool>* auto_mode = nullptr;
  // The operator's message box (caption, text) for an unreachable office.
  std::function<void(const std::string& caption, const std::string& text)> message_box;
  // True once the exchange is asked to end (the plug-in is unloading): no
  // further recipient is tried.
  std::function<bool()> stop_requested;
};

// The exchange with every recipient of the address box, on client (which the
// caller owns). True when the report reached at least one office. An error
// outside the guarded reception leaves it, after the recipient's session has
// been closed; the remaining recipients are not tried.
bool PrepareAndSendOtchet(protocol::Session& client, const StationExchange& exchange);

// "Send_file" and the body of the file at path on a connected client. True
// when the whole body went out and the operator did not cancel.
bool SendFileToServer(protocol::Session& client, const std::string& path,
                      const StationExchange& exchange);

}  // namespace station
}  // namespace pw
