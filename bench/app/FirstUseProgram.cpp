// What a road's first use of its late-loaded library costs, in a fresh process that links none
// of them. Usage:
//   bench_first_use load libpq|libcurl|libmspack|libcrypto   prints "load <ms>"
//   bench_first_use fetch URL CAFILE   prints "load <ms> first <ms> warm <ms>": loading libcurl,
//     then a request in a new session (as every update check opens one) twice
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/internet/Internet.h"
#include "platform/lazy/Libraries.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One GET in a session of its own, to the end of the body.
double Fetch(const std::string& url, const std::string& caFile) {
  using kessmar::platform::InternetRequest;
  const auto start = Clock::now();
  kessmar::platform::InternetSettings settings;
  settings.agent = "bench";
  settings.extraCaFile = caFile;
  kessmar::platform::InternetSession session(settings);
  auto request = session.OpenUrl(url);
  for (;;) {
    const auto state = request->WaitForResponse(std::chrono::milliseconds(10));
    if (state == InternetRequest::State::kResponse) break;
    if (state == InternetRequest::State::kFailed) {
      std::fprintf(stderr, "the request failed: %s\n", request->ErrorText().c_str());
      std::exit(1);
    }
  }
  for (;;) {
    const auto state =
        request->Receive([](const char*, size_t) { return true; }, std::chrono::milliseconds(10));
    if (state == InternetRequest::State::kEnd || state == InternetRequest::State::kFailed) break;
  }
  return MsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "load") == 0) {
    const std::string library = argv[2];
    const auto start = Clock::now();
    if (library == "libpq") kessmar::platform::RequireLibpq();
    if (library == "libcurl") kessmar::platform::RequireLibcurl();
    if (library == "libmspack") kessmar::platform::RequireLibmspack();
    if (library == "libcrypto") kessmar::platform::RequireLibcrypto();
    std::printf("load %.3f\n", MsSince(start));
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "fetch") == 0) {
    const auto start = Clock::now();
    kessmar::platform::RequireLibcurl();
    const double load = MsSince(start);
    const double first = Fetch(argv[2], argv[3]);
    const double warm = Fetch(argv[2], argv[3]);
    std::printf("load %.3f first %.3f warm %.3f\n", load, first, warm);
    return 0;
  }
  std::fprintf(stderr, "usage: bench_first_use load LIBRARY | fetch URL CAFILE\n");
  return 2;
}
