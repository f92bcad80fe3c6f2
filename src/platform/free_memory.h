// Handing the heap's free pages back to the system after a burst of work.
#pragma once

namespace pw::platform {

// Gives the pages the allocator holds free (in every thread's arena) back
// to the system, so a burst of connections does not keep the process large
// once they are gone. Costs a walk over the free lists: call it after a
// burst, not per connection. Does nothing where the allocator returns its
// pages by itself. Any thread.
void ReturnFreeMemory();

}  // namespace pw::platform
