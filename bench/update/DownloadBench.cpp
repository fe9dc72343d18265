// Download throughput of the update component over loopback HTTPS against libcurl's own on the
// same file in the same run, and the longest time the event loop is kept from running during a
// download. Usage: bench_update_download [megabytes per file, default 128] [rounds, default 5]
//
// The reference is a plain libcurl transfer into a callback that drops the data (what
// "curl -o /dev/null" does), and the same writing a file (what "curl -o file" does). The
// component downloads through the update window's own progress handler and pump on the
// offscreen platform, writing the file to disk as in the program; its transfer layer alone
// (the same blocks and pump, the data dropped) shows what the file write costs. The event
// loop's waits are seen by a zero-interval timer; the first transfer of the process is not
// timed (it loads fonts and certificates).
#include <curl/curl.h>
#include <httplib.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/internet/Internet.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "update/HttpsTestServer.h"
#include "update/TfrmUpdate.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

size_t Drop(char*, size_t size, size_t count, void*) {
  return size * count;
}

size_t ToFile(char* data, size_t size, size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

// MB/s of a plain libcurl transfer of url, its data dropped (as "curl -o /dev/null") or, with
// a file, written there (as "curl -o file").
double CurlReference(const std::string& url, const std::string& caFile, size_t bytes,
                     const std::filesystem::path& file = {}) {
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  FILE* out = file.empty() ? nullptr : std::fopen(file.c_str(), "wb");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, out != nullptr ? &ToFile : &Drop);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
  const auto start = Clock::now();
  const CURLcode result = curl_easy_perform(curl);
  if (out != nullptr) std::fclose(out);
  const double s = Seconds(Clock::now() - start);
  curl_easy_cleanup(curl);
  if (!file.empty()) std::filesystem::remove(file);
  if (result != CURLE_OK) {
    std::fprintf(stderr, "curl: %s\n", curl_easy_strerror(result));
    std::exit(1);
  }
  return static_cast<double>(bytes) / s / 1e6;
}

struct OwnResult {
  double mbPerSecond = 0;
  double longestGapMs = 0;
  double longestCpuGapMs = 0;  // the same gaps counted in this thread's running time only
  std::vector<double> gapsMs;
};

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// MB/s of TWebUpdate::DownloadFile through the window's own hooks, and the gaps between two
// runs of the event loop, seen by a zero-interval timer (it fires on every pass of the loop).
OwnResult Component(kessmar::TfrmUpdate& window, const std::string& url, const std::string& folder,
                    size_t bytes) {
  OwnResult result;
  auto& web = window.WebUpdate;
  Clock::time_point last = Clock::now();
  double lastCpu = ThreadCpuMs();
  QTimer loopWatch;
  loopWatch.setInterval(0);
  QObject::connect(&loopWatch, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    const double cpu = ThreadCpuMs();
    result.gapsMs.push_back(std::chrono::duration<double, std::milli>(now - last).count());
    result.longestCpuGapMs = std::max(result.longestCpuGapMs, cpu - lastCpu);
    last = now;
    lastCpu = cpu;
  });
  if (web.OpenSession() != 0) std::exit(1);
  loopWatch.start();
  const auto start = Clock::now();
  last = start;
  lastCpu = ThreadCpuMs();
  if (!web.DownloadFile(url, folder)) {
    std::fprintf(stderr, "the component's download failed\n");
    std::exit(1);
  }
  const double s = Seconds(Clock::now() - start);
  loopWatch.stop();
  web.CloseSession();
  result.mbPerSecond = static_cast<double>(bytes) / s / 1e6;
  const auto longest = std::max_element(result.gapsMs.begin(), result.gapsMs.end());
  result.longestGapMs = *longest;
  return result;
}

// MB/s of the component's transfer layer alone: the same session and blocks, each block
// followed by the window's pump, the data dropped instead of written to a file.
double TransferLayer(kessmar::TfrmUpdate& window, const std::string& url, const std::string& caFile,
                     size_t bytes) {
  kessmar::platform::InternetSettings settings;
  settings.agent = "TWebUpdate";
  settings.extraCaFile = caFile;
  kessmar::platform::InternetSession session(settings);
  const auto start = Clock::now();
  auto request = session.OpenUrl(url);
  using State = kessmar::platform::InternetRequest::State;
  while (request->WaitForResponse(std::chrono::milliseconds(5)) == State::kWaiting) {
    window.WebUpdate.ProcessMessages();
  }
  const kessmar::platform::InternetRequest::Sink sink = [&](const char*, size_t size) {
    for (size_t offset = 0; offset < size; offset += 4096) window.WebUpdate.ProcessMessages();
    return true;
  };
  State state;
  while ((state = request->Receive(sink, std::chrono::milliseconds(5))) != State::kEnd) {
    if (state == State::kFailed || state == State::kStopped) std::exit(1);
    window.WebUpdate.ProcessMessages();
  }
  return static_cast<double>(bytes) / Seconds(Clock::now() - start) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 128;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  kessmar::testing::TempDir dir;
  setenv("TMPDIR", (dir / "tmp").c_str(), 1);
  std::filesystem::create_directories(dir / "tmp");
  std::filesystem::create_directories(dir / "target");
  QApplication app(argc, argv);

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

  kessmar::testing::RecordingMessages messages;
  kessmar::testing::RecordingShell shell;
  kessmar::TfrmUpdate window(messages, shell);
  window.WebUpdate.ExtraCaFile = server.CaFile().string();
  const std::string folder = (dir / "target").string() + "/";

  // Untimed: the first transfer of the process pays for loading fonts and certificates.
  Component(window, url, folder, bytes);
  std::filesystem::remove(dir / "target" / "big.bin");

  std::vector<double> curlRuns, curlFileRuns, layerRuns, ownRuns, gaps;
  double longestGap = 0;
  double longestCpuGap = 0;
  for (int r = 0; r < rounds; ++r) {
    curlRuns.push_back(CurlReference(url, server.CaFile().string(), bytes));
    curlFileRuns.push_back(
        CurlReference(url, server.CaFile().string(), bytes, dir / "target" / "curl.bin"));
    layerRuns.push_back(TransferLayer(window, url, server.CaFile().string(), bytes));
    const OwnResult own = Component(window, url, folder, bytes);
    ownRuns.push_back(own.mbPerSecond);
    longestGap = std::max(longestGap, own.longestGapMs);
    longestCpuGap = std::max(longestCpuGap, own.longestCpuGapMs);
    gaps.insert(gaps.end(), own.gapsMs.begin(), own.gapsMs.end());
    std::filesystem::remove(dir / "target" / "big.bin");
    std::printf(
        "round %d: libcurl %.0f MB/s (to a file %.0f MB/s), transfer layer %.0f MB/s, "
        "component %.0f MB/s, longest gap %.2f ms (%.2f ms running)\n",
        r + 1, curlRuns.back(), curlFileRuns.back(), layerRuns.back(), ownRuns.back(),
        own.longestGapMs, own.longestCpuGapMs);
  }
  const double curlMedian = Median(curlRuns);
  const double ownMedian = Median(ownRuns);
  std::printf("file: %zu MB over loopback HTTPS, %d rounds\n", megabytes, rounds);
  std::printf("libcurl to nothing (median): %.0f MB/s\n", curlMedian);
  const double curlFileMedian = Median(curlFileRuns);
  std::printf("libcurl to a file (median): %.0f MB/s\n", curlFileMedian);
  const double layerMedian = Median(layerRuns);
  std::printf(
      "transfer layer with the window's pump, data dropped (median): %.0f MB/s = %.1f %% "
      "of libcurl to nothing\n",
      layerMedian, 100.0 * layerMedian / curlMedian);
  std::printf(
      "TWebUpdate::DownloadFile to a file (median): %.0f MB/s = %.1f %% of libcurl to "
      "nothing (target >= 90 %%), %.1f %% of libcurl to a file\n",
      ownMedian, 100.0 * ownMedian / curlMedian, 100.0 * ownMedian / curlFileMedian);
  std::printf(
      "event loop blocked at most: %.2f ms wall clock (target <= 20 ms), of which this "
      "thread ran at most %.2f ms; 99.9th percentile %.3f ms; %zu passes of the loop\n",
      longestGap, longestCpuGap, Percentile(gaps, 0.999), gaps.size());
  return 0;
}
