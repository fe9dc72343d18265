// The process's own memory.
#pragma once

namespace kessmar::platform {

// Gives the heap's free memory back to the system where the allocator keeps it otherwise (after
// a burst of allocations, such as building windows). Cheap enough for once after a burst; not
// for every event. Never throws.
void ReleaseFreeMemory();

}  // namespace kessmar::platform
