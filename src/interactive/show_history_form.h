// The history viewer: the message history file in a read-only text box,
// opened from the menu item "История сообщений". Made for each opening and
// freed when it closes. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "interactive/text_input_form.h"
#include "ui/controls.h"
#include "ui/operator.h"
#include "ui/window.h"

namespace pw::interactive {

class TShowHistoryForm : public ui::Window {
 public:
  TShowHistoryForm();
  ~TShowHistoryForm() override;

  // Shows the viewer modally through the operator; FormShow fills it first.
  // The lines stay in Memo1 after it has closed.
  ui::Answer ShowModal();
  void FormResize();

  void Show() override;

  // Empties Memo1 and loads the history file into it, if there is one; its
  // lines break at CR LF, CR or LF, as a text box shows them, so the parts of
  // a multi-line message stand on lines of their own. The caret goes after
  // the last line. Raises pw::Error when the file exists but cannot be read.
  void FormShow();

  // Controls, captions in Windows-1251.
  ui::Memo Memo1{*this, "Memo1"};  // read-only, both scroll bars, anchored on all sides
  CaretPos Memo1Caret;
  ui::Control Bevel1{*this, "Bevel1"};  // the separator line
  ui::Button BitBtn1{*this, "BitBtn1"};  // "Закрыть": closes (cancel kind)
};

// Opens the viewer modally, frees it, and returns the lines it showed.
std::vector<std::string> OpenMessageHistory();

}  // namespace pw::interactive
