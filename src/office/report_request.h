// The office asks one station for its report: it connects to the station's
// listener, sends the request file its host prepared for that station
// ("GET_OTCHET"), waits while the station's host works it into a report,
// receives the report into its folder under a name made from the address it
// dialled, and hands it to its host.
#pragma once

#include <functional>
#include <string>

#include "office/exchange_services.h"
#include "protocol/session.h"

namespace pw::office {

// What one exchange needs, gathered by the office window on the main thread
// before the exchange's thread starts.
struct ReportExchange : ExchangeServices {
  int out_port = 0;    // OutPort
  // The office window's outgoing connection: ConnectToServer (the station's
  // name, "" on failure) and DisconnectFromServer.
  std::function<void(protocol::Session&, const std::string& address, int port,
                     std::string& station_name)>
      connect;
  std::function<bool(protocol::Session&)> disconnect;
};

// On the open session: "GET_OTCHET", the request's size, path and body, the
// wait of up to ZaprosTimeOut for the station's "Send_file", the report into
// folder under FileNamePart(name line) less four characters + "_" +
// dialled_address + ".dat", the host's ProcessReportFile, and the summary
// line. True when the whole road went well. A time-out ends it without the
// summary.
bool RequestReport(protocol::Session& session, const ReportExchange& exchange,
                   const std::string& path, const std::string& station_name,
                   const std::string& dialled_address);

// Connects to the address part of address_text on OutPort, asks the host for
// the station's request file, runs RequestReport (or logs "Не найден файл
// запроса для АЗС: "), and disconnects. An error raised by the host is raised
// to the caller without the closing disconnect.
void RunReportExchange(protocol::Session& session, const ReportExchange& exchange,
                       const std::string& address_text);

}  // namespace pw::office
