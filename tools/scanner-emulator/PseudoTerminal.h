// A pseudo-terminal pair for the emulated scanner's serial line. The emulator keeps the slave
// side open as well, in raw mode, so the line discipline passes bytes unchanged and the master
// does not see a hang-up while no host has the port open.
#pragma once

#include <string>

#include "platform/FileDescriptor.h"

namespace kessmar::emulator {

class PseudoTerminal {
 public:
  // Opens a new pair. Throws std::runtime_error naming the step that failed.
  PseudoTerminal();

  int MasterFd() const { return master_.get(); }
  // The path hosts open, like /dev/pts/5.
  const std::string& SlavePath() const { return slavePath_; }

 private:
  platform::FileDescriptor master_;
  platform::FileDescriptor slave_;
  std::string slavePath_;
};

}  // namespace kessmar::emulator
