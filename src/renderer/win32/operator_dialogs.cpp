#include "renderer/win32/operator_dialogs.h"

#include <commdlg.h>

#include "platform/win32/wide_text.h"

namespace pw::renderer::win32 {

UINT MessageBoxFlags(const ui::BoxRequest& box) {
  UINT flags = 0;
  switch (box.buttons) {
    case ui::Buttons::Ok: flags |= MB_OK; break;
    case ui::Buttons::OkCancel: flags |= MB_OKCANCEL; break;
    case ui::Buttons::YesNo: flags |= MB_YESNO; break;
  }
  switch (box.icon) {
    case ui::BoxIcon::None: break;
    case ui::BoxIcon::Error: flags |= MB_ICONERROR; break;
    case ui::BoxIcon::Warning: flags |= MB_ICONWARNING; break;
    case ui::BoxIcon::Information: flags |= MB_ICONINFORMATION; break;
    case ui::BoxIcon::Question: flags |= MB_ICONQUESTION; break;
  }
  flags |= box.system_modal ? MB_SYSTEMMODAL : MB_TASKMODAL;
  if (box.on_top) flags |= MB_TOPMOST;
  return flags;
}

std::wstring MessageBoxText(const std::string& cp1251) {
  const std::wstring wide = platform::Wide(cp1251);
  std::wstring out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] != L'\r') {
      out += wide[i];
      continue;
    }
    out += L'\n';
    if (i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
  }
  return out;
}

ui::Answer AskWithMessageBox(const ui::BoxRequest& box, HWND owner) {
  const std::wstring caption = platform::Wide(box.caption);
  const std::wstring text = MessageBoxText(box.text);
  switch (MessageBoxW(box.owned ? owner : nullptr, text.c_str(), caption.c_str(), MessageBoxFlags(box))) {
    case IDOK: return ui::Answer::Ok;
    case IDYES: return ui::Answer::Yes;
    case IDNO: return ui::Answer::No;
    case IDCANCEL: return ui::Answer::Cancel;
    default: break;
  }
  // The box could not be shown: its last button, the one that does nothing.
  switch (box.buttons) {
    case ui::Buttons::Ok: return ui::Answer::Ok;
    case ui::Buttons::OkCancel: return ui::Answer::Cancel;
    case ui::Buttons::YesNo: return ui::Answer::No;
  }
  return ui::Answer::Cancel;
}

std::optional<std::string> AskForFileToOpen(const std::string& caption, HWND owner) {
  std::wstring path(32768, L'\0');
  const std::wstring title = platform::Wide(caption);
  static const wchar_t kFilter[] = L"*.*\0*.*\0";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = kFilter;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
  if (!GetOpenFileNameW(&ofn)) return std::nullopt;
  path.resize(wcslen(path.c_str()));
  return platform::Narrow(path);
}

}  // namespace pw::renderer::win32
