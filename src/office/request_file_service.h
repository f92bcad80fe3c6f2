// "TRY_GET_ZAPROS": a station fetches the request file the office host has
// prepared for it. Served one station at a time while the request is chosen
// and copied (under RequestFileLock); its body then goes out from the copy
// at the station's pace, with the lock free for the other stations.
#pragma once

#include "office/listener_context.h"
#include "protocol/session.h"

namespace pw::office {

// After the command line. No request for the station: "No_zapros", and the
// connection goes on. Otherwise "OK", the size, the file's bare name and the
// body; then the pause (also after a cancelled body, not after a failed
// one). A host error, or a request file whose size cannot be taken (absent,
// unreadable, too large), is logged with the command's error line and
// answered "No_zapros" as well.
void ServeRequestFile(protocol::Session& session, const ListenerContext& context);

}  // namespace pw::office
