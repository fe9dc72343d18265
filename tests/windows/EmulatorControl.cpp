// emulator-control: sends one line to a scanner emulator's control socket and prints the answer.
// A Linux program: tests under Wine cannot reach a Unix socket, so they run this instead.
//   emulator-control SOCKET LINE
// Exit status 0 with an answer, 1 when the socket gave none, 2 on wrong usage.
#include <cstdio>

#include "support/EmulatorProcess.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: emulator-control SOCKET LINE\n", stderr);
    return 2;
  }
  const std::string answer = kessmar::test::SendControlLine(argv[1], argv[2]);
  if (answer.empty()) {
    std::fprintf(stderr, "emulator-control: no answer from %s\n", argv[1]);
    return 1;
  }
  std::printf("%s\n", answer.c_str());
  return 0;
}
