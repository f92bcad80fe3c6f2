#include "office/report_request.h"

#include <chrono>
#include <exception>

#include "office/board_watch.h"
#include "office/stored_report_name.h"
#include "platform/files.h"
#include "services/event_log.h"
#include "station/recipients.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::office {

namespace {

// The two flags of one exchange.
struct Outcome {
  bool success = true;  // no error met
  bool ok = false;      // the last step completed
};

// Sends the request's size, path and body; true when it all went out. A
// cancel has already closed the connection through the window.
bool SendRequest(protocol::Session& session, const ReportExchange& exchange,
                 const std::string& path, std::int32_t size, Outcome& outcome, BoardWatch& watch) {
  session.WriteNumberLine(size);
  session.WriteLine(path);
  const WireContext wire = exchange.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Передается файл-запрос: "_w) + path + " " + std::to_string(size) +
                      Text(" байт"_w)};
  site.caption = Text("передача файла запроса: "_w) + path;
  site.success = Text("Файл запроса "_w) + path + Text(" отправлен!"_w);
  site.check_cancelled = true;
  site.close_on_cancel = exchange.disconnect;
  site.log = exchange.log_list;
  try {
    const bool sent = protocol::SendBody(session, path, size, site, exchange.progress);
    if (sent) watch.RequestSent(FileNamePart(path), size);
    return sent;
  } catch (const std::exception& e) {
    outcome.success = false;
    exchange.log(Text("Не возможно отослать файл: "_w) + text::VisibleText(e.what()));
    exchange.disconnect(session);
    return false;
  }
}

// After "Send_file": "OK", the size and name lines and the body. The stored
// path when the report arrived whole.
std::optional<std::string> ReceiveAnswer(protocol::Session& session,
                                         const ReportExchange& exchange,
                                         const std::string& dialled_address, BoardWatch& watch) {
  session.WriteLine("OK");
  const std::int32_t size = session.ReadNumberLine();
  const std::string name_line = session.ReadLine();
  const std::optional<std::string> stored = StoredReportName(name_line, dialled_address);
  if (!stored) {
    exchange.log(RefusedReportNameLine(ReportNameAsFormed(name_line, dialled_address)));
    exchange.disconnect(session);  // the body is not taken
    return std::nullopt;
  }
  const std::string target = exchange.folder + *stored;
  const WireContext wire = exchange.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Принимается ответ на файл-запрос: "_w) + target + " " +
                      std::to_string(size) + Text(" байт"_w)};
  site.caption = Text("прием файла: "_w) + target;
  site.success = Text("Файл принят успешно (контрольная сумма в порядке)"_w);
  site.mismatch = [](std::int64_t) { return Text("Файл принят (контрольная сумма НЕ в порядке)"_w); };
  site.check_cancelled = true;
  site.settle_after_cancel = false;  // a cancelled report is not size-checked
  site.close_on_cancel = exchange.disconnect;
  site.log = exchange.log_list;
  std::string digest;
  site.digest = &digest;
  platform::CreateDirectories(exchange.folder);
  const auto started = std::chrono::steady_clock::now();
  if (protocol::ReceiveBody(session, size, target, site, exchange.progress) !=
      protocol::Received::Stored)
    return std::nullopt;
  watch.ReportStored(*stored, size, SecondsSince(started), digest);
  return target;
}

}  // namespace

bool RequestReport(protocol::Session& session, const ReportExchange& given,
                   const std::string& path, const std::string& station_name,
                   const std::string& dialled_address) {
  ReportExchange exchange = given;
  BoardWatch watch(exchange, station_name, dialled_address);
  watch.Follow(exchange);
  Outcome outcome;
  try {
    // A request that cannot be sent whole is not announced.
    const std::int32_t size = protocol::SendableFileSize(path);
    session.WriteLine("GET_OTCHET");
    if (session.ReadLine() == "OK" && SendRequest(session, exchange, path, size, outcome, watch)) {
      if (!protocol::WaitForRequestAnswer(exchange.wire(), session, exchange.log_list)) {
        watch.Failed();
        exchange.disconnect(session);  // no summary after a time-out
        return false;
      }
      std::string word;
      try {
        word = session.ReadLine();
      } catch (const std::exception& e) {
        outcome.success = false;
        exchange.log(Text("Файл отчета не подготовлен: "_w) + text::VisibleText(e.what()));
      }
      std::optional<std::string> report;
      if (word == "Send_file") {
        try {
          report = ReceiveAnswer(session, exchange, dialled_address, watch);
        } catch (const std::exception& e) {
          outcome.success = false;
          exchange.log(Text("Файл отчета не принят: "_w) + text::VisibleText(e.what()));
        }
      }
      if (report) {
        outcome.ok = true;
        exchange.log(Text("Обработка полученного файла..."_w));
        exchange.host().ProcessReportFile(station_name, *report);
        exchange.log(Text("Обработка завершена!"_w));
      }
    }
  } catch (const std::exception& e) {
    outcome.success = false;
    // Error texts may quote a received line, as the station's name may hold
    // any byte: both are made visible.
    exchange.log(Text("Невозможно совершить обмен файлами: "_w) + text::VisibleText(e.what()));
  }
  const bool done = outcome.success && outcome.ok;
  if (!done) watch.Failed();  // the line that tells why, before the summary
  if (done)
    exchange.log(Text("Обмен данными с АЗС: '"_w) + text::VisibleText(station_name) +
                 Text("' произошел УСПЕШНО!"_w));
  else
    exchange.log(Text("НЕУДАЧНЫЙ обмен данными с АЗС: '"_w) + text::VisibleText(station_name) + "'");
  return done;
}

void RunReportExchange(protocol::Session& session, const ReportExchange& exchange,
                       const std::string& address_text) {
  if (session.Connected()) exchange.disconnect(session);
  const std::string address = station::ExtractStationAddress(address_text);
  std::string station_name;
  exchange.connect(session, address, exchange.out_port, station_name);
  if (!station_name.empty()) {
    const std::string path = exchange.host().GetRequestFile(station_name);
    if (!path.empty())
      RequestReport(session, exchange, path, station_name, address);
    else
      exchange.log(Text("Не найден файл запроса для АЗС: "_w) + text::VisibleText(station_name));
  }
  exchange.disconnect(session);
}

}  // namespace pw::office
