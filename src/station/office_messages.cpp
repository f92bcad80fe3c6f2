#include "station/office_messages.h"

#include "interactive/file_reception.h"
#include "text/cp1251.h"

namespace pw::station {

void ServeOfficeAddress(protocol::Session& session, const OfficeMessages& messages) {
  const std::string address = session.PeerIP();
  const std::string question = Text("Офис запрашивает синхронизацию IP адреса!"_w) + "\r" +
                               Text("Новый IP адрес: "_w) + address + "\r" +
                               Text("Установить новый IP для соединения с офисом?"_w);
  // A system message box: the question reaches the operator whatever
  // program is in front.
  ui::BoxRequest box{Text("Запрос с Офиса!"_w), question, ui::Buttons::YesNo};
  box.on_top = true;
  box.system_modal = true;
  const ui::Answer answer = messages.wire().ask(box);
  if (answer == ui::Answer::Yes) messages.adopt_address(address);
}

void ServeOfficeText(protocol::Session& session, const OfficeMessages& messages) {
  const std::string text = session.ReadLine();
  messages.notify("Получено сообщение из ОФиса!"_w, text);
}

void ServeOfficeFile(protocol::Session& session, const OfficeMessages& messages) {
  interactive::FileReception reception;
  reception.folder = messages.folder;
  reception.log = messages.log;
  reception.log_list = messages.log_list;
  reception.progress = messages.progress;
  reception.wire = messages.wire;
  reception.stored = [&messages](const interactive::ReceivedFile& file) {
    const std::string title = Text("Принят файл из Офиса"_w);
    messages.notify(title, title + "\r\n" + file.path + "\r\n" + Text("Размер: "_w) +
                               std::to_string(file.size) + Text(" байт"_w));
  };
  interactive::ReceiveFile(session, reception);
}

}  // namespace pw::station
