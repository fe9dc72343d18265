#include <malloc.h>

#include "platform/Memory.h"

namespace kessmar::platform {

void ReleaseFreeMemory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

}  // namespace kessmar::platform
