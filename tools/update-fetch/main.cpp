// kessmar-update-fetch: fetches the update check's control file or what's-new text for the
// program, which starts it with the request on standard input and reads the answer from standard
// output (update/FetchProtocol.h). It ends with the fetch, and with it libcurl and OpenSSL.
#include <cstdio>
#include <exception>
#include <string>

#include "update/FetchHelper.h"

namespace {

// The longest request the program sends: settings, a URL and a few keys.
constexpr size_t kMaxRequestBytes = 1 << 20;

}  // namespace

int main(int argc, char** /*argv*/) {
  if (argc != 1) {
    std::fputs(
        "kessmar-update-fetch is started by kessmar-scanner-tool, with its request on "
        "standard input\n",
        stderr);
    return 2;
  }
  std::string request;
  char block[16 * 1024];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, stdin)) > 0) {
    if (request.size() + got > kMaxRequestBytes) {
      std::fputs("kessmar-update-fetch: the request is too long\n", stderr);
      return 2;
    }
    request.append(block, got);
  }
  try {
    kessmar::ServeFetchRequest(request, [](std::string_view record) {
      std::fwrite(record.data(), 1, record.size(), stdout);
      std::fflush(stdout);
    });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kessmar-update-fetch: %s\n", e.what());
    return 2;
  }
  return std::ferror(stdout) ? 1 : 0;
}
