// The text prompt: the dialog in which the operator types a message before
// it is sent. One exists per loaded plug-in, hidden between uses; the text
// box keeps its text from one use to the next. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/controls.h"
#include "ui/window.h"

namespace pw::interactive {

// A place in a multi-line text box, both counted from 0.
struct CaretPos {
  int line = 0;
  int column = 0;
};

class TTextInputForm : public ui::Window {
 public:
  static constexpr int kCheckConnectTimeoutMs = 1000;
  // The longest text that goes out: with its CR it must fit in the line a
  // receiver reads (16384 bytes before the LF).
  static constexpr std::size_t kMaxMessageBytes = 16383;

  TTextInputForm();
  ~TTextInputForm() override;

  // The addressee, for the reachability check only.
  std::string Address;
  std::int32_t Port = 0;

  // Shows the prompt modally and returns the text to send: the box's text
  // with every CR LF made a single CR, so the message travels as one line;
  // empty when the operator cancels (the text stays in the box for the next
  // time). Text the operator types comes from the operator's queued text,
  // which replaces what the box held. A text longer than kMaxMessageBytes
  // is refused with a message box and gives the empty text; it stays in
  // the box to be shortened.
  std::string PromptMessage(std::string_view address, std::int32_t port);

  // The box's whole text: its lines joined by CR LF, no break at the end.
  std::string Text() const;
  // Fills the box; lines break at CR LF, a lone CR or LF stays in its line.
  void SetText(std::string_view text);

  void Show() override;

  // Event handlers.
  void FormShow();     // caret to line 1, column 1; focus to the box
  void BitBtn3Click(); // "Отчистить": empties the box
  void BitBtn4Click(); // "Проверить адресата": tries Address:Port, says how it went
  void FormResize();   // the box takes the room, the buttons keep to the bottom

  // Controls, captions in Windows-1251. Sizeable tool window.
  ui::Memo Mtext{*this, "Mtext"};  // anchored on all sides
  CaretPos MtextCaret;
  bool MtextFocused = false;
  ui::Button BitBtn3{*this, "BitBtn3"};
  ui::Button BitBtn4{*this, "BitBtn4"};  // caption wrapped on two lines
  ui::Button BitBtn1{*this, "BitBtn1"};  // default button: closes with OK
  ui::Button BitBtn2{*this, "BitBtn2"};  // closes with Cancel
};

}  // namespace pw::interactive
