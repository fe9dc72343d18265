#include "scanner-emulator/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kessmar::emulator {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

PseudoTerminal::PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  if (!master_) Fail("Cannot open a pseudo-terminal");
  if (::grantpt(master_.get()) != 0) Fail("Cannot grant the pseudo-terminal");
  if (::unlockpt(master_.get()) != 0) Fail("Cannot unlock the pseudo-terminal");
  char name[128];
  if (::ptsname_r(master_.get(), name, sizeof name) != 0) Fail("Cannot name the pseudo-terminal");
  slavePath_ = name;
  int flags = ::fcntl(master_.get(), F_GETFL);
  if (flags < 0 || ::fcntl(master_.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    Fail("Cannot make the pseudo-terminal non-blocking");
  }
  slave_.Reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!slave_) Fail("Cannot open " + slavePath_);
  termios settings{};
  if (::tcgetattr(slave_.get(), &settings) != 0) Fail("Cannot read the settings of " + slavePath_);
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  if (::tcsetattr(slave_.get(), TCSANOW, &settings) != 0) {
    Fail("Cannot set raw mode on " + slavePath_);
  }
}

}  // namespace kessmar::emulator
