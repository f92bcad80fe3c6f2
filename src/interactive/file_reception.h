// The receiving side of "SEND_FILE2", the same at both ends: the size line,
// the name line, one block of exactly that many bytes without
// acknowledgements, the end mark "111"; the file is stored in the end's
// incoming folder and the listener closes the connection.
//
// The name line never leaves the folder: it is reduced to its last part
// after "\" or "/" and then to a plain file name (SafeFileName); a name that
// cannot be made one is refused. A size line that is not a number, is
// negative or is past the folder's free room ends the command with a log
// line before any body byte is awaited. The body goes to a temporary file
// beside the target and replaces an existing file only once it is whole.
#pragma once

#include <cstdint>
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

namespace interactive {

struct ReceivedFile {
  std::string path;       // folder + the stored name
  std::int64_t size = 0;  // the byte count received (= the announced size)
  std::string digest;     // its SHA-256, 64 hex digits
};

struct FileReception {
  std::string folder;  // FromOffice or FromAZS, ending in the separator
  // A line to the connection window's log (AddToLog to its list).
  std::function<void(std::string_view)> log;
  // The same list, for the lines the body framing writes itself.
  ui::ListBox* log_list = nullptr;
  protocol::ProgressFactory progress;
  std::function<WireContext()> wire = CurrentWireContext;
  // The office ends a reception its operator stopped with the notice of a
  // cancelled transfer and stores nothing; a station's stopped reception
  // ends in the size mismatch line.
  bool check_cancelled = false;
  // Told of a file stored whole (the notice to the operator), before the
  // connection closes; an error it raises is logged as a reception error.
  std::function<void(const ReceivedFile&)> stored;
};

// Serves one "SEND_FILE2" after its command line and closes the connection.
// Every failure is logged with "Ошибка при приеме файла: " and stores
// nothing; the function never raises.
void ReceiveFile(protocol::Session& session, const FileReception& reception);

}  // namespace interactive
}  // namespace pw
