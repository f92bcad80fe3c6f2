// "Send_file": a station delivers its report. The office stores it in its
// folder under a name made from the station's name line and the station's
// name, and hands a whole, non-empty report to its host.
#pragma once

#include "office/listener_context.h"
#include "protocol/session.h"

namespace pw::office {

// After the command line: "OK", then the size and name lines and the body.
// A report that was cut, cancelled or failed its size check is never handed
// to the host, and nothing of a cut one is left on disk; an empty report is
// stored but not handed. A name that SafeFileName refuses is logged and the
// connection closed before the body, which is not taken. A host error is
// logged with the command's error line; the connection goes on. A size or
// name line that does not come whole, or a size that is not a number, is
// logged with the same line and ends the connection.
void ReceiveReport(protocol::Session& session, const ListenerContext& context);

}  // namespace pw::office
