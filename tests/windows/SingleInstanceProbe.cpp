// single-instance-probe NAME: exit status 1 when another process holds the single-instance
// marker NAME, 0 when not; 2 on wrong usage. For the cross-process test of the marker.
#include <cstdio>

#include "platform/SingleInstance.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: single-instance-probe NAME\n", stderr);
    return 2;
  }
  return kessmar::platform::CreateSingleInstanceMarker()->IsHeldByOther(argv[1]) ? 1 : 0;
}
