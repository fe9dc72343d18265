// What the signature and hash check costs an update: a 128 MB file downloaded over loopback HTTPS
// by TWebUpdate::DownloadFile with its SHA-256 computed as it arrives, against the same download
// without the check, in the same run; and the check alone (the control file's signature and the
// SHA-256 of the file in memory), in wall-clock and in running time, against the download.
// Usage: bench_update_check [MB] [rounds]
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/crypto/Crypto.h"
#include "support/TempDir.h"
#include "update/HttpsTestServer.h"
#include "update/UpdateSignature.h"
#include "update/WebUpdate.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 128;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  kessmar::testing::TempDir dir;
  setenv("TMPDIR", (dir / "tmp").c_str(), 1);
  std::filesystem::create_directories(dir / "tmp");
  std::filesystem::create_directories(dir / "target");

  const size_t bytes = megabytes << 20;
  std::string content(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
  kessmar::testing::HttpsTestServer server(dir / "server");
  server.Handle("/big.bin", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(bytes, "application/octet-stream",
                             [&](size_t offset, size_t, httplib::DataSink& sink) {
                               const size_t n = std::min<size_t>(256 * 1024, bytes - offset);
                               return sink.write(content.data() + offset, n);
                             });
  });
  const std::string url = server.Url("/big.bin");
  const auto digest = kessmar::platform::Sha256Of(content);

  // A control file of the usual size, signed, and the key to check it with.
  kessmar::testing::MakeTestSigningKey(dir / "key.pem", dir / "public.pem");
  const auto key = kessmar::ParsePrivateKey(kessmar::testing::ReadFile(dir / "key.pem"));
  const auto keys = kessmar::ParsePublicKeys(kessmar::testing::ReadFile(dir / "public.pem"));
  std::string control = "[update]\nnewversion=1.0.0.171\n[files]\ncount=1\n[file1]\nurl=" + url +
                        "\nsha256=" + kessmar::Sha256Text(digest) + "\n";
  const std::string signature =
      kessmar::SignatureText(kessmar::platform::SignEd25519(key, control));

  kessmar::TWebUpdate web;
  web.ExtraCaFile = server.CaFile().string();
  web.ProcessMessages = [] {};
  if (web.OpenSession() != 0) return 1;
  const std::string folder = (dir / "target").string() + "/";
  auto download = [&](bool checked) {
    const auto start = Clock::now();
    const bool ok =
        web.DownloadFile(url, folder,
                         web.FileLimits(static_cast<int64_t>(bytes),
                                        checked ? std::optional(digest) : std::nullopt));
    const double s = Seconds(Clock::now() - start);
    std::filesystem::remove(dir / "target" / "big.bin");
    if (!ok) {
      std::fprintf(stderr, "the download failed\n");
      std::exit(1);
    }
    return s;
  };
  download(true);  // untimed: loads certificates, warms the caches

  std::vector<double> plain, checked, alone, aloneCpu;
  for (int r = 0; r < rounds; ++r) {
    plain.push_back(download(false));
    checked.push_back(download(true));
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    const bool good = kessmar::SignedByOneOf(control, signature, keys) &&
                      kessmar::platform::Sha256Of(content) == digest;
    alone.push_back(Seconds(Clock::now() - start));
    aloneCpu.push_back(ThreadCpuSeconds() - cpuStart);
    if (!good) return 1;
    std::printf("round %d: download %.3f s, with the check %.3f s, the check alone %.3f s\n", r + 1,
                plain.back(), checked.back(), alone.back());
  }
  const double p = Median(plain), c = Median(checked), a = Median(alone), cpu = Median(aloneCpu);
  std::printf("file: %zu MB over loopback HTTPS, %d rounds (medians)\n", megabytes, rounds);
  std::printf("download without the check: %.3f s (%.0f MB/s)\n", p, bytes / p / 1e6);
  std::printf(
      "added by the signature and hash check while downloading: %.3f s = %.1f %% of the "
      "download (target <= 10 %%)\n",
      c - p, 100.0 * (c - p) / p);
  std::printf(
      "the check alone (signature + SHA-256 of %zu MB in memory): %.3f s = %.1f %% of the "
      "download\n",
      megabytes, a, 100.0 * a / p);
  std::printf("the check alone in this thread's running time: %.3f s = %.1f %% of the download\n",
              cpu, 100.0 * cpu / p);
  return 0;
}
