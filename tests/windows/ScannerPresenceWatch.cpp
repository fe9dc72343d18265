// scanner-presence-watch PORT: holds COM<port> through the scanner library and asks for the
// scanner every 100 ms until it stops answering. Prints "present" once it has answered and
// "gone after N ms" when it stops; exit status 0 then, 1 when it never answered or still
// answers after 20 s, 2 on wrong usage. For the test of a scanner that vanishes mid-session.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "scanner/ScannerLibrary.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: scanner-presence-watch PORT\n", stderr);
    return 2;
  }
  try {
    kessmar::Csp2Library library;
    if (library.InitEx(std::stoi(argv[1])) != 0) return 1;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool answered = false;
    Clock::time_point lastAnswer{};
    while (Clock::now() - start < std::chrono::seconds(20)) {
      if (library.GetCTS() > 0) {
        if (!answered) std::puts("present");
        std::fflush(stdout);
        answered = true;
        lastAnswer = Clock::now();
      } else if (answered) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastAnswer);
        std::printf("gone after %lld ms\n", static_cast<long long>(ms.count()));
        library.Restore();
        return 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    library.Restore();
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scanner-presence-watch: %s\n", e.what());
    return 1;
  }
}
