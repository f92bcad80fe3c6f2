#include "office/request_file_service.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <thread>

#include "office/board_watch.h"
#include "office/request_snapshot.h"
#include "platform/error.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "services/locks.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

namespace {

// "OK", the size, the bare name and the body of the request at path, read
// from source (the path itself or a copy of it); then the pause (also after
// a cancelled body, not after a failed one).
void SendRequest(protocol::Session& session, const ListenerContext& given,
                 const std::string& station, const std::string& path, std::int32_t size,
                 const std::string& source) {
  ListenerContext context = given;
  BoardWatch watch(context, station, session.PeerIP());
  watch.Follow(context);
  session.WriteLine("OK");
  session.WriteNumberLine(size);
  session.WriteLine(FileNamePart(path));

  bool cancelled = false;
  const WireContext wire = context.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Передача файла запроса: "_w) + path + " " + std::to_string(size) +
                      Text(" байт для АЗС: "_w) + text::VisibleText(station)};
  site.caption = Text("передача файла запроса: "_w) + path;
  site.success = Text("Файл запроса "_w) + path + Text(" передан успешно"_w);
  site.error_prefix = Text("Ошибка передачи файла: "_w);
  site.check_cancelled = true;
  site.close_on_cancel = [&cancelled](protocol::Session& s) {
    cancelled = true;
    s.Disconnect();
  };
  site.log = context.log_list;
  site.digest_path = path;
  const bool sent = protocol::SendBody(session, source, size, site, context.progress);
  if (sent)
    watch.RequestSent(FileNamePart(path), size);
  else
    watch.Failed();
  if (sent || cancelled) std::this_thread::sleep_for(context.pause);
}

}  // namespace

void ServeRequestFile(protocol::Session& session, const ListenerContext& context) {
  // One station at a time chooses and copies its request; the body goes
  // out from the copy after the lock is left, so a station that takes its
  // body slowly (or never) holds up no other station's request. Without a
  // copy the whole command runs under the lock.
  std::string station, path;
  std::int32_t size = 0;
  std::optional<RequestSnapshot> snapshot;
  {
    MutexLock lock(RequestFileLock());
    station = AttributedStation(context, session, /*log_fallback=*/true);
    // A request the office cannot send is answered as no request: the
    // station's round goes on to its next office, and this connection to
    // its next command.
    try {
      path = context.host().GetRequestFile(station);
      if (!path.empty()) size = protocol::SendableFileSize(path);
    } catch (const std::exception& e) {
      const std::string line = Text("Ошибка передачи файла: "_w) + text::VisibleText(e.what());
      context.log(line);
      BoardWatch(context, station, session.PeerIP()).Failed(line);
      path.clear();
    }
    if (path.empty()) {
      session.WriteLine("No_zapros");
      return;
    }
    if (std::optional<RequestSnapshot> copy = RequestSnapshot::Take(path, size))
      snapshot.emplace(std::move(*copy));
    if (!snapshot) {
      SendRequest(session, context, station, path, size, path);
      return;
    }
  }
  SendRequest(session, context, station, path, size, snapshot->path());
}

}  // namespace pw::office
