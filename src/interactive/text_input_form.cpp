#include "interactive/text_input_form.h"

#include <algorithm>
#include <exception>

#include "platform/error.h"
#include "platform/tcp.h"
#include "protocol/session.h"
#include "services/form_placement.h"
#include "text/cp1251.h"
#include "ui/operator.h"

namespace pw::interactive {

static_assert(TTextInputForm::kMaxMessageBytes + 1 == protocol::kMaxLineLength,
              "the text and its CR fill a receiver's longest line");

TTextInputForm::TTextInputForm() : ui::Window("TTextInputForm") {
  caption = "Подготовка текстового сообщения для отправки"_w;
  tool_window = true;
  client_width = 432;
  client_height = 156;
  width = 440;
  height = 180;
  min_width = 440;
  min_height = 180;
  FormResize();
  on_resize = [this] { FormResize(); };
  BitBtn3.caption = "Отчистить"_w;
  BitBtn4.caption = "Проверить адресата"_w;
  BitBtn1.caption = "Отправить"_w;
  BitBtn2.caption = "Отмена"_w;
  BitBtn3.on_click = [this] { BitBtn3Click(); };
  BitBtn4.on_click = [this] { BitBtn4Click(); };
  BitBtn1.on_click = [this] { modal_result = ModalResult::Ok; };
  BitBtn2.on_click = [this] { modal_result = ModalResult::Cancel; };

  TryRestorePlacement(*this);
}

TTextInputForm::~TTextInputForm() = default;

void TTextInputForm::FormResize() {
  // Buttons two lines high, for the check's wrapped caption; "Отчистить" and
  // the check at the left edge, the two that close the prompt at the right.
  constexpr int kButtonsHeight = 30, kGap = 4;
  const int w = client_width, h = client_height;
  const int y = std::max(h - kButtonsHeight - 3, 0);
  Mtext.SetBounds(0, 0, w, std::max(y - kGap, 0));
  BitBtn3.SetBounds(8, y, 75, kButtonsHeight);
  BitBtn4.SetBounds(91, y, 100, kButtonsHeight);
  BitBtn1.SetBounds(w - 168, y, 80, kButtonsHeight);
  BitBtn2.SetBounds(w - 84, y, 76, kButtonsHeight);
}

std::string TTextInputForm::Text() const {
  std::string text;
  for (std::size_t i = 0; i < Mtext.lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += Mtext.lines[i];
  }
  return text;
}

void TTextInputForm::SetText(std::string_view text) {
  Mtext.lines.clear();
  if (text.empty()) return;
  for (;;) {
    const auto pos = text.find("\r\n");
    Mtext.lines.emplace_back(text.substr(0, pos));
    if (pos == std::string_view::npos) break;
    text.remove_prefix(pos + 2);
  }
}

std::string TTextInputForm::PromptMessage(std::string_view address, std::int32_t port) {
  Address = address;
  Port = port;
  if (auto typed = ui::Operator::instance().TakeText()) SetText(*typed);

  const ui::Answer answer = ui::Operator::instance().ShowModal(*this);
  TrySavePlacement(*this);
  if (answer != ui::Answer::Ok) return {};

  // Until none is left: a CR LF followed by another LF gives a new pair.
  std::string text = Text();
  for (auto pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos))
    text.erase(pos + 1, 1);
  if (text.size() > kMaxMessageBytes) {
    // No receiver could read such a line, and the session would break on it.
    ui::Operator::instance().ShowMessageBox(
        caption,
        std::string("Сообщение слишком длинное: "_w) + std::to_string(text.size()) +
            std::string(" байт. Отправить можно не больше "_w) + std::to_string(kMaxMessageBytes) +
            std::string(" байт. Сократите текст."_w),
        ui::Buttons::Ok);
    return {};
  }
  return text;
}

void TTextInputForm::Show() {
  ui::Window::Show();
  FormShow();
}

void TTextInputForm::FormShow() {
  MtextCaret = CaretPos{1, 1};
  MtextFocused = true;
}

void TTextInputForm::BitBtn3Click() { Mtext.lines.clear(); }

void TTextInputForm::BitBtn4Click() {
  platform::TcpConnection connection;
  try {
    connection = platform::TcpConnection::Connect(Address, Port, kCheckConnectTimeoutMs);
  } catch (const std::exception&) {
    ui::Operator::instance().ShowMessageBox("", std::string("Адресат НЕ доступен"_w), ui::Buttons::Ok);
    return;
  }
  ui::Operator::instance().ShowMessageBox("", std::string("Адресат доступен"_w), ui::Buttons::Ok);
  connection.Disconnect();
}

}  // namespace pw::interactive
