#include "station/report_request_service.h"

#include <exception>
#include <optional>

#include "platform/files.h"
#include "services/event_log.h"
#include "station/report_sending.h"
#include "station/stored_request_name.h"
#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::station {

namespace {

using protocol::Session;

struct Announced {
  std::int32_t size = 0;
  std::string name;  // FileNamePart of the office's path
};

// Step 1: "OK", the size and the path. An error here is shown to the
// operator; nothing is stored then.
std::optional<Announced> ReadAnnouncement(Session& session, const ReportRequestService& service) {
  try {
    session.WriteLine("OK");
    Announced a;
    a.size = session.ReadNumberLine();
    a.name = FileNamePart(session.ReadLine());
    return a;
  } catch (const std::exception& e) {
    service.show_error(e.what());
    return std::nullopt;
  }
}

// Steps 1 and 2: the request body into folder + name + "_z". True when it
// arrived whole and is stored; a cut (cancelled) reception fails its size
// check and stores nothing.
bool ReceiveRequest(Session& session, const Announced& a, const std::string& stored,
                    const ReportRequestService& service) {
  const WireContext wire = service.wire();
  protocol::TransferSite site(wire);
  site.start_lines = {Text("Прием файла запроса: "_w) + stored + " " + std::to_string(a.size) +
                      Text(" байт"_w)};
  site.caption = Text("Приём файла запроса: "_w) + stored;
  site.success = Text("Файл запроса успешно принят (контрольная сумма верная)"_w);
  const std::int32_t size = a.size;
  site.mismatch = [size](std::int64_t received) {
    return Text("Файл запроса принят (контрольная сумма НЕ верная ("_w) + std::to_string(received) +
           "<>" + std::to_string(size) + ")";
  };
  site.error_prefix = Text("Не удалось принять файл запроса:   "_w);
  site.log = service.log_list;
  return protocol::ReceiveBody(session, a.size, stored, site, service.progress) ==
         protocol::Received::Stored;
}

// Steps 6 to 9: "Send_file", the office's "OK", the answer's size, path and
// body. The connection stays open: the office closes it (a cancel, or an
// answer that cannot be sent, closes it here).
void SendAnswer(Session& session, const std::string& answer, const ReportRequestService& service) {
  try {
    service.log(Text("Отправка файла-ответа на запрос: "_w) + answer);
  } catch (const std::exception& e) {
    // One line lost: the next may still be written, and no answer goes out.
    service.log(Text("Не возможно отослать файл: "_w) + text::VisibleText(e.what()));
    return;
  }
  ReportSendPlace place;
  place.start_line = [](const std::string& path, std::int32_t size) {
    return Text("Передается файл: "_w) + path + " " + std::to_string(size) + Text(" байт"_w);
  };
  place.caption_lead = Text("Передача файла-ответа: "_w);
  place.close_when_unsendable = true;
  SendReport(session, answer, place, service);
}

}  // namespace

void ServeReportRequest(Session& session, const ReportRequestService& service) {
  const std::optional<Announced> announced = ReadAnnouncement(session, service);
  if (!announced) {
    session.Disconnect();
    return;
  }
  const std::optional<std::string> stored_name = StoredRequestName(announced->name, service.log);
  if (!stored_name) {
    session.Disconnect();
    return;
  }
  platform::CreateDirectories(service.folder);  // a station may not have it yet
  const std::string stored = service.folder + *stored_name;
  if (!ReceiveRequest(session, *announced, stored, service)) {
    session.Disconnect();
    return;
  }

  service.log(Text("Обработка принятого файла: "_w) + stored);
  std::string answer;
  try {
    answer = service.host->ProcessRequestFile(stored);
  } catch (const std::exception& e) {
    service.log(Text("Ошибка обработки файла запроса: "_w) + text::VisibleText(e.what()));
    session.Disconnect();
    return;
  }
  if (answer.empty()) {
    service.log(Text("Файл ответа НЕ подготовлен"_w));
    session.Disconnect();
    return;
  }
  SendAnswer(session, answer, service);
}

}  // namespace pw::station
