#include "office/station_messages.h"

#include "interactive/file_reception.h"
#include "text/cp1251.h"

namespace pw::office {

void ServeStationAddress(protocol::Session& session, const StationMessages& messages) {
  const std::string address = session.PeerIP();
  // No stand-in here: an unknown station asks with an empty name.
  const std::string station = NamedStation(messages.listener, session);
  const std::string question = Text("АЗС \""_w) + station +
                               Text("\" запрашивает синхронизацию IP адреса!"_w) + "\r" +
                               Text("новый IP адрес: "_w) + address + "\r" +
                               Text("Установить новый IP для азс?"_w);
  ui::BoxRequest box{Text("Запрос с АЗС!"_w), question, ui::Buttons::YesNo};
  box.on_top = true;
  const ui::Answer answer = messages.listener.wire().ask(box);
  if (answer == ui::Answer::Yes) messages.update_address(station, address);
}

void ServeStationText(protocol::Session& session, const StationMessages& messages) {
  const std::string text = session.ReadLine();
  const std::string caption = messages.set_caption(text);
  const std::string station = AttributedStation(messages.listener, session, /*log_fallback=*/false);
  messages.notify(Text("Получено сообщение от "_w) + station, caption, station);
}

void ServeStationFile(protocol::Session& session, const StationMessages& messages) {
  interactive::FileReception reception;
  reception.folder = messages.folder;
  reception.log = messages.listener.log;
  reception.log_list = messages.listener.log_list;
  reception.progress = messages.listener.progress;
  reception.wire = messages.listener.wire;
  reception.check_cancelled = true;
  reception.stored = [&messages, &session](const interactive::ReceivedFile& file) {
    const std::string station = AttributedStation(messages.listener, session, /*log_fallback=*/false);
    const std::string title = Text("Принят файл от "_w) + station;
    messages.notify(title,
                    title + "\r\n" + file.path + "\r\n" + Text("Размер: "_w) +
                        std::to_string(file.size) + Text(" байт"_w),
                    station);
  };
  interactive::ReceiveFile(session, reception);
}

}  // namespace pw::office
