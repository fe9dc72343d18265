// Linked into every test program: server discovery stays on loopback and the update check never
// asks the real site, also when a program is run by hand rather than through ctest (which sets
// the same). A test that needs other values sets them itself.
#include <cstdlib>

namespace {

const bool kLoopbackOnly = [] {
  setenv("KESSMAR_DISCOVERY_ADDR", "127.255.255.255", /*overwrite=*/0);
  setenv("KESSMAR_UPDATE_URL", "https://127.0.0.1:9", /*overwrite=*/0);
  return true;
}();

}  // namespace
