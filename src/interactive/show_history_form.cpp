#include "interactive/show_history_form.h"

#include <algorithm>
#include <string_view>

#include "interactive/message_history.h"
#include "platform/error.h"
#include "services/form_placement.h"
#include "text/cp1251.h"

namespace pw::interactive {

namespace {

// Lines as a text box takes them from a file: a break is CR LF, CR or LF;
// a break at the very end opens no further line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    start = end;
  }
  return lines;
}

}  // namespace

TShowHistoryForm::TShowHistoryForm() : ui::Window("TShowHistoryForm") {
  caption = "Просмотр истории сообщений"_w;
  client_width = 667;
  client_height = 405;
  width = 675;
  height = 432;
  Memo1.read_only = true;
  Memo1.horizontal_scroll = true;
  FormResize();
  on_resize = [this] { FormResize(); };
  BitBtn1.caption = "Закрыть"_w;
  BitBtn1.on_click = [this] { modal_result = ModalResult::Cancel; };
  TryRestorePlacement(*this);
}

TShowHistoryForm::~TShowHistoryForm() = default;

// The text takes the room; the line and "Закрыть" keep to the bottom right.
void TShowHistoryForm::FormResize() {
  const int w = client_width, h = client_height;
  Memo1.SetBounds(0, 0, w, std::max(h - 41, 0));
  Bevel1.SetBounds(0, std::max(h - 39, 0), w, 2);
  BitBtn1.SetBounds(w - 83, std::max(h - 31, 0), 75, 25);
}

ui::Answer TShowHistoryForm::ShowModal() {
  const ui::Answer answer = ui::Operator::instance().ShowModal(*this);
  TrySavePlacement(*this);
  return answer;
}

void TShowHistoryForm::Show() {
  FormShow();
  ui::Window::Show();
}

void TShowHistoryForm::FormShow() {
  Memo1.lines.clear();
  Memo1.lines = SplitLines(ReadHistory());
  Memo1Caret = CaretPos{static_cast<int>(Memo1.lines.size()), 0};
}

std::vector<std::string> OpenMessageHistory() {
  TShowHistoryForm form;
  form.ShowModal();
  return std::move(form.Memo1.lines);
}

}  // namespace pw::interactive
