#include "host/host_menu.h"

#include "text/cp1251.h"
#include "text/trim.h"

namespace pw::host {

namespace {

HostMenuItem& Self(PwMenuItem* item) { return *static_cast<HostMenuItem*>(item); }

PwError PW_CALL GetCaption(PwMenuItem* self, const char** caption) {
  *caption = Self(self).caption.c_str();
  return nullptr;
}
PwError PW_CALL SetCaption(PwMenuItem* self, const char* caption) {
  Self(self).caption = caption;
  return nullptr;
}
PwError PW_CALL SetHint(PwMenuItem* self, const char* hint) {
  Self(self).hint = hint;
  return nullptr;
}
PwError PW_CALL SetHelpContext(PwMenuItem* self, int32_t context) {
  Self(self).help_context = context;
  return nullptr;
}
PwError PW_CALL SetShortCut(PwMenuItem* self, uint16_t shortcut) {
  Self(self).shortcut = shortcut;
  return nullptr;
}
PwError PW_CALL SetOnClick(PwMenuItem* self, PwClickHandler handler, void* context) {
  Self(self).on_click = handler;
  Self(self).click_context = context;
  return nullptr;
}
PwError PW_CALL Count(PwMenuItem* self, int32_t* count) {
  *count = static_cast<int32_t>(Self(self).children.size());
  return nullptr;
}
PwError PW_CALL Item(PwMenuItem* self, int32_t index, PwMenuItem** child) {
  auto& children = Self(self).children;
  if (index < 0 || static_cast<std::size_t>(index) >= children.size()) return "menu: index out of range";
  *child = children[static_cast<std::size_t>(index)].get();
  return nullptr;
}
PwError PW_CALL Find(PwMenuItem* self, const char* caption, PwMenuItem** child) {
  *child = Self(self).Find(caption);
  return nullptr;
}

constexpr PwMenuItemVtbl kVtbl = {GetCaption, SetCaption, SetHint, SetHelpContext, SetShortCut,
                                  SetOnClick, Count,      Item,    Find};

}  // namespace

std::string CaptionKey(const std::string& caption, bool trim) {
  std::string key;
  for (char c : caption)
    if (c != '&') key += text::lower_case(c);
  return trim ? std::string(text::trim_blanks(key)) : key;
}

HostMenuItem::HostMenuItem(std::string initial_caption) : PwMenuItem{&kVtbl}, caption(std::move(initial_caption)) {}

HostMenuItem& HostMenuItem::Append(std::string child_caption) {
  children.push_back(std::make_unique<HostMenuItem>(std::move(child_caption)));
  return *children.back();
}

HostMenuItem* HostMenuItem::Find(const std::string& wanted, bool trim) const {
  const std::string key = CaptionKey(wanted, trim);
  for (const auto& child : children)
    if (CaptionKey(child->caption, trim) == key) return child.get();
  return nullptr;
}

HostMenuItem* HostMenuItem::FindPath(const std::string& path) const {
  const HostMenuItem* item = this;
  std::size_t start = 0;
  for (;;) {
    const auto end = path.find('>', start);
    item = item->Find(path.substr(start, end == std::string::npos ? std::string::npos : end - start),
                      /*trim=*/true);
    if (item == nullptr || end == std::string::npos) return const_cast<HostMenuItem*>(item);
    start = end + 1;
  }
}

bool HostMenuItem::Click() const {
  if (on_click == nullptr) return false;
  on_click(click_context);
  return true;
}

}  // namespace pw::host
