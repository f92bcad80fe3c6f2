#include "services/plugin_context.h"

#include "platform/error.h"
#include "text/cp1251.h"

namespace pw {

const HostServices& PluginContext::Host() const {
  if (!host) throw Error("host: not loaded"_w.data(), ErrorKind::kHost);
  return *host;
}

}  // namespace pw
