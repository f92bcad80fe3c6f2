#include "office/request_file_service.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <thread>

#include "platform/error.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "services/locks.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

namespace {

std::string W(std::string_view cp1251) { return std::string(cp1251); }

}  // namespace

void ServeRequestFile(protocol::Session& session, const ListenerContext& context) {
  // One station at a time, the pause after the body included.
  MutexLock lock(RequestFileLock());
  const std::string station = AttributedStation(context, session.PeerIP(), /*log_fallback=*/true);
  std::string path;
  try {
    path = context.host().GetRequestFile(station);
  } catch (const std::exception& e) {
    context.log(W("Ошибка передачи файла: "_w) + text::VisibleText(e.what()));
    // The station waits for an answer that will not come: it learns at once.
    session.Disconnect();
    return;
  }
  if (path.empty()) {
    session.WriteLine("No_zapros");
    return;
  }
  std::int32_t size = 0;
  try {
    size = protocol::SendableFileSize(path);
  } catch (const std::exception& e) {
    // Nothing was answered yet: the station learns at once from the close.
    context.log(W("Ошибка передачи файла: "_w) + text::VisibleText(e.what()));
    session.Disconnect();
    return;
  }
  session.WriteLine("OK");
  session.WriteNumberLine(size);
  session.WriteLine(FileNamePart(path));

  bool cancelled = false;
  const WireContext wire = context.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {W("Передача файла запроса: "_w) + path + " " + std::to_string(size) +
                      W(" байт для АЗС: "_w) + text::VisibleText(station)};
  site.caption = W("передача файла запроса: "_w) + path;
  site.success = W("Файл запроса "_w) + path + W(" передан успешно"_w);
  site.error_prefix = W("Ошибка передачи файла: "_w);
  site.check_cancelled = true;
  site.close_on_cancel = [&cancelled](protocol::Session& s) {
    cancelled = true;
    s.Disconnect();
  };
  site.log = context.log_list;
  const bool sent = protocol::SendBody(session, path, size, site, context.progress);
  if (sent || cancelled) std::this_thread::sleep_for(context.pause);
}

}  // namespace pw::office
