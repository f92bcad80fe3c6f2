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

namespace pw::office {

namespace {

std::string W(std::string_view cp1251) { return std::string(cp1251); }

// The size of the request file; raises when it cannot be read or is too
// large for a number line, before anything is answered.
std::int32_t RequestSize(const std::string& path) {
  const std::optional<std::uint64_t> size = platform::FileSize(path);
  if (!size) throw Error(W("Не найден файл запроса: "_w) + path);
  if (*size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    throw Error(W("Файл слишком велик для передачи"_w));
  return static_cast<std::int32_t>(*size);
}

}  // namespace

void ServeRequestFile(protocol::Session& session, const ListenerContext& context) {
  // One station at a time, the pause after the body included.
  MutexLock lock(RequestFileLock());
  const std::string station = AttributedStation(context, session.PeerIP(), /*log_fallback=*/true);
  std::string path;
  try {
    path = context.host().GetRequestFile(station);
  } catch (const std::exception& e) {
    context.log(W("Ошибка передачи файла: "_w) + e.what());
    // The station waits for an answer that will not come: it learns at once.
    session.Disconnect();
    return;
  }
  if (path.empty()) {
    session.WriteLine("No_zapros");
    return;
  }
  const std::int32_t size = RequestSize(path);
  session.WriteLine("OK");
  session.WriteNumberLine(size);
  session.WriteLine(FileNamePart(path));

  bool cancelled = false;
  const WireContext wire = context.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {W("Передача файла запроса: "_w) + path + " " + std::to_string(size) +
                      W(" байт для АЗС: "_w) + station};
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
