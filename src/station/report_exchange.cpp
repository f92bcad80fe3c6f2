#include "station/report_exchange.h"

#include <exception>
#include <optional>

#include "platform/files.h"
#include "platform/error.h"
#include "services/event_log.h"
#include "station/recipients.h"
#include "station/report_sending.h"
#include "station/stored_request_name.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::station {

namespace {

using protocol::Session;

// Sub-step 5: the request body after its size and name lines, into the
// office folder under stored_name. True when it arrived whole and is stored;
// nullopt name means it was refused, and the connection, out of step with
// the body the office sends, is closed.
bool ReceiveRequest(Session& client, std::int32_t size, const std::optional<std::string>& stored_name,
                    const StationExchange& exchange) {
  if (!stored_name) {
    client.Disconnect();
    return false;
  }
  platform::CreateDirectories(exchange.folder);  // a station may not have it yet
  const std::string stored = exchange.folder + *stored_name;
  const WireContext wire = exchange.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Прием файла запроса: "_w) + *stored_name + " " + std::to_string(size) +
                      Text(" байт"_w)};
  site.caption = Text("прием файла запроса: "_w) + stored;
  site.success = Text("Файл принят успешно (контрольная сумма в порядке) "_w);
  site.mismatch = [size](std::int64_t received) {
    return Text("Файл принят (контрольная сумма НЕ в порядке)"_w) + std::to_string(size) + "<>" +
           std::to_string(received);
  };
  site.error_prefix = Text("Ошибка приема файла: "_w);
  site.check_cancelled = true;
  site.settle_after_cancel = false;  // a cancelled request is not size-checked
  site.log = exchange.log_list;
  return protocol::ReceiveBody(client, size, stored, site, exchange.progress) ==
         protocol::Received::Stored;
}

// Sub-steps 4 to 7 with one office; true when the report was sent.
bool ExchangeWithOffice(Session& client, const StationExchange& exchange) {
  client.WriteLine("TRY_GET_ZAPROS");
  if (client.ReadLine() != "OK") return false;  // "No_zapros" among others
  const std::int32_t size = client.ReadNumberLine();
  const std::string name_line = client.ReadLine();
  const std::optional<std::string> stored_name = StoredRequestName(name_line, exchange.log);
  if (!ReceiveRequest(client, size, stored_name, exchange)) return false;

  exchange.log(Text("Обрабатывается файл запроса: "_w) + *stored_name);
  const std::string report = exchange.host->ProcessRequestFile(exchange.folder + *stored_name);
  if (report.empty()) {
    exchange.log(Text("Принятый файл НЕ обработан!"_w));
    exchange.disconnect(client);
    return false;
  }
  exchange.log(Text("Принятый файл обработан!"_w));
  return SendFileToServer(client, report, exchange);
}

}  // namespace

bool PrepareAndSendOtchet(Session& client, const StationExchange& exchange) {
  bool result = false;
  bool automatic = false;
  if (exchange.auto_mode && exchange.auto_mode->exchange(false)) {
    exchange.log(Text("Автоматическая отправка данных(IP)..."_w));
    automatic = true;
  }
  if (client.Connected()) exchange.disconnect(client);
  const int count = CountRecipients(exchange.address_box());
  if (count > 1) exchange.log(Text("Передача данных по нескольким адресатам!"_w));

  const auto stopping = [&] { return exchange.stop_requested && exchange.stop_requested(); };
  for (int k = 0; k < count; ++k) {
    if (stopping()) break;
    const std::string address = ExtractStationAddress(GetRecipient(exchange.address_box(), k));
    if (!exchange.connect(client, address, exchange.out_port())) {
      // A connect that a stop (the plug-in unloading) cut short is no news
      // for the operator.
      if (!automatic && !stopping())
        exchange.message_box(Text("Связь с офисом"_w),
                             Text("Отчет не отправлен!\rНе возможно подключиться к офису"_w));
      continue;
    }
    bool sent = false;
    // The recipient's session is closed and its outcome logged also when an
    // error leaves the exchange.
    auto settle = [&] {
      exchange.disconnect(client);
      if (sent) {
        exchange.log(Text("Передача отчета произведена успешно!"_w));
        result = true;
      } else {
        exchange.log(Text("Отчет не отправлен!"_w));
      }
    };
    try {
      sent = ExchangeWithOffice(client, exchange);
    } catch (...) {
      settle();
      throw;
    }
    settle();
  }
  return result;
}

bool SendFileToServer(Session& client, const std::string& path, const StationExchange& exchange) {
  if (!client.Connected()) return false;
  ReportSendPlace place;
  place.start_line = [](const std::string& path, std::int32_t size) {
    return Text("Передается файл: "_w) + path + " (" + std::to_string(size) + Text(" байт) ..."_w);
  };
  place.caption_lead = Text("передача файла: "_w);
  return SendReport(client, path, place, exchange);
}

}  // namespace pw::station
