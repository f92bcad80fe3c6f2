#include "host/menu_paths.h"

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw::host {

namespace {

void Check(PwError error) {
  if (error != nullptr) throw Error(error);
}

}  // namespace

void CreateMenuPaths(PwHostServices& host, const std::vector<std::string>& paths) {
  PwMenuItem* root = nullptr;
  Check(host.vtbl->GetMainMenu(&host, &root));
  for (const auto& path : paths) {
    PwMenuItem* item = root;
    std::size_t start = 0;
    for (;;) {
      const auto end = path.find('>', start);
      const std::string caption =
          text::cp1251_from_utf8(path.substr(start, end == std::string::npos ? end : end - start));
      PwMenuItem* found = nullptr;
      Check(item->vtbl->Find(item, caption.c_str(), &found));
      if (found == nullptr) {
        Check(host.vtbl->CreateMenuItem(&host, item, -1, &found));
        Check(found->vtbl->SetCaption(found, caption.c_str()));
      }
      item = found;
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
}

}  // namespace pw::host
