#include "platform/StandardStreams.h"

namespace kessmar::platform {

void UseBinaryStandardStreams() {
  // POSIX streams never translate line ends.
}

}  // namespace kessmar::platform
