#include "station/report_sending.h"

#include <exception>

#include "text/cp1251.h"
#include "text/visible_text.h"

namespace pw::station {

namespace {
std::string Text(std::string_view cp1251) { return std::string(cp1251); }
}  // namespace

bool SendReport(protocol::Session& session, const std::string& path, const ReportSendPlace& place,
                const StationServices& services) {
  try {
    std::int32_t size = 0;
    try {
      size = protocol::SendableFileSize(path);
    } catch (const std::exception&) {
      if (place.close_when_unsendable) session.Disconnect();
      throw;
    }
    session.WriteLine("Send_file");
    if (session.ReadLine() != "OK") return false;
    session.WriteNumberLine(size);
    session.WriteLine(path);
    const WireContext wire = services.wire();
    protocol::TransferSite site(wire);
    site.start_lines = {place.start_line(path, size)};
    site.caption = place.caption_lead + path;
    site.success = Text("Файл "_w) + path + Text(" отправлен!"_w);
    site.error_prefix = Text("Не возможно отослать файл: "_w);
    site.log = services.log_list;
    return protocol::SendBody(session, path, size, site, services.progress);
  } catch (const std::exception& e) {
    services.log(Text("Не возможно отослать файл: "_w) + text::VisibleText(e.what()));
    return false;
  }
}

}  // namespace pw::station
