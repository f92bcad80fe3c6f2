#include "office/report_reception.h"

#include <chrono>
#include <exception>

#include "office/board_watch.h"
#include "office/connections.h"
#include "office/stored_report_name.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

void ReceiveReport(protocol::Session& session, const ListenerContext& given) {
  // The station is not looked up before the lines came: a failure before
  // then is on the board only under the name its connection told.
  ListenerContext context = given;
  BoardWatch watch(context, RegisteredName(session.peer_name()), session.PeerIP());
  watch.Follow(context);
  std::string size_text, name_line;
  std::int32_t size = 0;
  try {
    session.WriteLine("OK");
    size_text = session.ReadLine();
    size = protocol::ParseNumberLine(size_text);
    name_line = session.ReadLine();
  } catch (const std::exception& e) {
    // A station cut off in its lines, or a size that is no number: the
    // report failed, and the stream is out of step with its body.
    session.Disconnect();
    context.log(Text("Ошибка приема файла: "_w) + text::VisibleText(e.what()));
    watch.Failed();
    return;
  }
  const std::string station = AttributedStation(context, session, /*log_fallback=*/false);
  watch.set_station(station);
  const std::optional<std::string> stored = StoredReportName(name_line, station);
  if (!stored) {
    context.log(RefusedReportNameLine(ReportNameAsFormed(name_line, station)));
    session.Disconnect();
    watch.Failed();
    return;
  }
  const std::string target = context.folder + *stored;

  const WireContext wire = context.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Идет прием файла "_w) + *stored + " (" + size_text + Text(" байт)"_w)};
  site.caption = Text("прием файла: "_w) + target;
  site.success = Text("Файл принят успешно (контрольная сумма в порядке)"_w);
  site.mismatch = [](std::int64_t) { return Text("Файл принят (контрольная сумма НЕ в порядке)"_w); };
  site.error_prefix = Text("Ошибка приема файла: "_w);
  site.check_cancelled = true;
  site.log = context.log_list;
  std::string digest;
  site.digest = &digest;
  platform::CreateDirectories(context.folder);
  const auto started = std::chrono::steady_clock::now();
  if (protocol::ReceiveBody(session, size, target, site, context.progress) !=
      protocol::Received::Stored) {
    watch.Failed();
    return;
  }
  watch.ReportStored(*stored, size, SecondsSince(started), digest);
  if (size == 0) return;  // an empty report is kept, not processed

  try {
    context.log(Text("Обработка файла с АЗС: "_w) + text::VisibleText(station) + Text(" Файл: "_w) + target);
    context.host().ProcessReportFile(station, target);
    context.log(Text("Обработка принятого файла "_w) + *stored + Text(" завершена!"_w));
  } catch (const std::exception& e) {
    context.log(Text("Ошибка приема файла: "_w) + text::VisibleText(e.what()));
    watch.Failed();
  }
}

}  // namespace pw::office
