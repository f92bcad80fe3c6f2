/* plugin.h before <windows.h>: the other order from dll_loader.c, which
 * includes them the way round a host most often does. */
#include "pumpwire/plugin.h"

#include <windows.h>

#include "header_order.h"

const char* PluginVersion(void* dll) {
  /* Through void (*)(void), the one pointer type any function's converts to
     without a warning. */
  const PwGetVersionProc get_version =
      (PwGetVersionProc)(void (*)(void))GetProcAddress((HMODULE)dll, "GetVersion");
  return get_version != NULL ? get_version() : NULL;
}

unsigned long WindowsVersion(void) { return GetVersion(); }
