#include <windows.h>

#include "platform/Memory.h"

namespace kessmar::platform {

void ReleaseFreeMemory() {
  // The free blocks of the process heap are coalesced and large ones decommitted.
  ::HeapCompact(::GetProcessHeap(), 0);
}

}  // namespace kessmar::platform
