#include "interactive/file_reception.h"

#include <exception>
#include <optional>

#include "platform/files.h"
#include "services/event_log.h"
#include "services/safe_file_name.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::interactive {

namespace {

const std::string_view kErrorPrefix = "Ошибка при приеме файла: "_w;

// The name as stored: the part after the last separator, made a plain file
// name. nullopt: refused (logged).
std::optional<std::string> StoredName(const std::string& name_line, const FileReception& r) {
  std::optional<std::string> name = SafeFileName(FileNamePart(name_line));
  if (!name || name->empty()) {
    r.log(Text("Недопустимое имя файла, файл не принят: "_w) + text::VisibleText(name_line));
    return std::nullopt;
  }
  if (*name != name_line)
    r.log(Text("Недопустимое имя файла "_w) + text::VisibleText(name_line) + Text(" заменено на "_w) +
          *name);
  return name;
}

// The steps after the command line. nullopt when nothing was stored (every
// such end is logged here or by the body framing).
std::optional<ReceivedFile> Receive(protocol::Session& session, const FileReception& r) {
  const std::string size_line = session.ReadLine();
  const std::string name_line = session.ReadLine();
  // Not a number: raised here, before anything is opened or allocated.
  const std::int32_t size = protocol::ParseNumberLine(size_line);
  const std::optional<std::string> name = StoredName(name_line, r);
  if (!name) return std::nullopt;
  const std::string target = r.folder + *name;

  const WireContext wire = r.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Прием файла : "_w) + target + " " + std::to_string(size) +
                      Text(" байт"_w)};
  site.caption = Text("Приём файла : "_w) + target;
  site.success = Text("Файл успешно принят (контрольная сумма верная)"_w);
  site.mismatch = [size](std::int64_t received) {
    return Text("Файл принят (контрольная сумма НЕ верная ("_w) + std::to_string(received) + "<>" +
           std::to_string(size) + ")";
  };
  site.error_prefix = Text(kErrorPrefix);
  site.check_cancelled = r.check_cancelled;
  site.settle_after_cancel = !r.check_cancelled;  // a stopped office reception stores nothing
  site.log = r.log_list;
  std::string digest;
  site.digest = &digest;
  platform::CreateDirectories(r.folder);  // Load made it; it may have gone since
  // A negative size, or one past the folder's free room, is refused (and
  // logged) by the framing before any body byte is awaited.
  if (protocol::ReceiveSingleBlock(session, size, target, site, r.progress) !=
      protocol::Received::Stored)
    return std::nullopt;
  return ReceivedFile{target, size, digest};
}

}  // namespace

void ReceiveFile(protocol::Session& session, const FileReception& reception) {
  try {
    if (const std::optional<ReceivedFile> file = Receive(session, reception); file && reception.stored)
      reception.stored(*file);
  } catch (const std::exception& e) {
    try {
      // The text may quote a received line.
      reception.log(Text(kErrorPrefix) + text::VisibleText(e.what()));
    } catch (const std::exception&) {
      // The log cannot be written: the close below is all that is left.
    }
  }
  // Always: the sender has nothing more to say, and after a refused name or
  // size its body would be read as commands.
  session.Disconnect();
}

}  // namespace pw::interactive
