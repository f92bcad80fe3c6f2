#include "platform/free_memory.h"

namespace pw::platform {

// The Windows heap decommits the free pages it does not need by itself.
void ReturnFreeMemory() {}

}  // namespace pw::platform
