// The seven exports, as the real plug-in has them, over windows.cpp.
#include "pumpwire/plugin.h"
#include "windows_plugin.h"

namespace {

PwHostServices* host_services = nullptr;

struct Click {
  void (*handler)(int id);
  int id;
};
Click clicks[16];
int click_count = 0;

void PW_CALL OnClick(void* context) {
  const Click& click = *static_cast<Click*>(context);
  click.handler(click.id);
}

void* Item(void* host, void* parent, const char* caption, void (*handler)(int id), int id) {
  auto* services = static_cast<PwHostServices*>(host);
  PwMenuItem* under = static_cast<PwMenuItem*>(parent);
  if (under == nullptr && services->vtbl->GetMainMenu(services, &under) != nullptr) return nullptr;
  PwMenuItem* item = nullptr;
  if (under->vtbl->Find(under, caption, &item) != nullptr) return nullptr;
  if (item == nullptr) {
    if (services->vtbl->CreateMenuItem(services, under, -1, &item) != nullptr) return nullptr;
    item->vtbl->SetCaption(item, caption);
    item->vtbl->SetHelpContext(item, 78);
  }
  if (handler != nullptr && click_count < 16) {
    clicks[click_count] = Click{handler, id};
    item->vtbl->SetOnClick(item, OnClick, &clicks[click_count++]);
  }
  return item;
}

}  // namespace

extern "C" {

PW_EXPORT int32_t PW_CALL Load(uint32_t app_window, uint8_t mode, PwHostServices* host) {
  host_services = host;
  click_count = 0;
  return fake::Load(app_window, mode, fake::HostMenu{host, Item});
}
PW_EXPORT int32_t PW_CALL UnLoad(void) { return fake::UnLoad(); }
PW_EXPORT void PW_CALL AddMenus(void) {}
PW_EXPORT void PW_CALL AutoSendInet(void) {}
PW_EXPORT int32_t PW_CALL RefreshPaswordData(void) { return 0; }
PW_EXPORT const char* PW_CALL GetVersion(void) { return "windows contract"; }
PW_EXPORT void PW_CALL AutoSendInetFromOffice(int32_t, const char*) {}

}
