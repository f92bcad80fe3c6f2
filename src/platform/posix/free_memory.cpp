#include "platform/free_memory.h"

#include <malloc.h>

namespace pw::platform {

// glibc keeps freed chunks in the arenas of the threads that freed them and
// gives back only the top of each heap by itself; malloc_trim also returns
// the whole free pages inside them.
void ReturnFreeMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace pw::platform
