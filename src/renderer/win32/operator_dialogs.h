// The operator's questions as the system's own dialogs: the message box and
// the file-open dialog.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "ui/backend.h"

namespace pw::renderer::win32 {

// The MessageBoxW flags of a box: its buttons and icon; system-modal or
// task-modal; topmost when asked.
UINT MessageBoxFlags(const ui::BoxRequest& box);
// A box's text as MessageBoxW breaks lines: every CR LF or lone CR an LF.
std::wstring MessageBoxText(const std::string& cp1251);
// Shows the box owned by owner (nullptr: by none) and waits for the answer.
ui::Answer AskWithMessageBox(const ui::BoxRequest& box, HWND owner);
// The file-open dialog: the chosen path in Windows-1251, nothing when cancelled.
std::optional<std::string> AskForFileToOpen(const std::string& caption, HWND owner);

}  // namespace pw::renderer::win32
