// Times saving and loading a batch of 100,000 scans against a plain read of the same file.
//
// Usage: bench_batch [FOLDER] [RUNS]  (default: a new folder in the temporary folder, 7 runs)
// Prints the median of each, MB/s, and each as a fraction of the plain read's speed. A save
// flushes the file to disk (fsync), so it is also set against a plain write of the same bytes
// with fsync; on a tmpfs folder (e.g. /dev/shm) the flush costs nothing.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "batch/MemTable.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kScans = 100000;

kessmar::MemTable MakeBatch() {
  kessmar::MemTable table(kessmar::MemTable::ScanRecordFields());
  table.Open();
  for (const char* id : {"12AB34CD", "12AB34CD20261208143107"}) {
    table.Append();
    table.SetText("Barcode", id);
    table.Post();
  }
  char stamp[32];
  for (int i = 0; i < kScans; ++i) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", std::to_string(8712345000000LL + (i * 7919LL) % 1000000));
    std::snprintf(stamp, sizeof stamp, "2026/12/08 %02d:%02d:%02d", 8 + i / 3600 % 10, i / 60 % 60,
                  i % 60);
    table.SetText("DateTime", stamp);
    table.SetInteger("Aantal", 1);
    table.Post();
  }
  return table;
}

template <typename F>
double Seconds(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  fs::path folder;
  bool ownFolder = false;
  if (argc > 1) {
    folder = argv[1];
  } else {
    std::string pattern = fs::temp_directory_path() / "bench-batch-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    folder = pattern;
    ownFolder = true;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  const fs::path file = folder / "bench.dat";

  const kessmar::MemTable batch = MakeBatch();
  kessmar::MemTable table;  // loaded again and again, as the tool reloads its scan table
  std::vector<double> save, load, raw, rawWrite;
  size_t rows = 0;
  // Run 0 warms the page cache and the allocator and is not counted.
  for (int r = 0; r <= runs; ++r) {
    save.push_back(Seconds([&] { batch.SaveBatchFile(file); }));
    load.push_back(Seconds([&] { table.LoadBatchFile(file); }));
    rows = static_cast<size_t>(table.RowCount());
    raw.push_back(Seconds([&] {
      std::ifstream in(file, std::ios::binary);
      std::string bytes(fs::file_size(file), '\0');
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }));
    rawWrite.push_back(Seconds([&] {
      std::ifstream in(file, std::ios::binary);
      std::string bytes(fs::file_size(file), '\0');
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      const std::string copy = (folder / "plain.dat").string();
      const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
          ::fsync(fd) != 0) {
        std::perror("plain write");
      }
      ::close(fd);
    }));
    if (r == 0) save.clear(), load.clear(), raw.clear(), rawWrite.clear();
  }
  const double size = static_cast<double>(fs::file_size(file));
  const double mb = size / 1e6;
  const double tRaw = Median(raw);
  std::printf("batch of %d scans: %zu rows, file %.2f MB, median of %d runs\n", kScans, rows, mb,
              runs);
  const double tWrite = Median(rawWrite);
  std::printf("  plain read         %8.2f ms  %8.1f MB/s\n", tRaw * 1e3, mb / tRaw);
  std::printf("  plain write+fsync  %8.2f ms  %8.1f MB/s  (read + write + fsync)\n", tWrite * 1e3,
              mb / tWrite);
  const double tSave = Median(save);
  const double tLoad = Median(load);
  std::printf(
      "  save               %8.2f ms  %8.1f MB/s  %.2f of plain read, %.2f of plain write\n",
      tSave * 1e3, mb / tSave, tRaw / tSave, tWrite / tSave);
  std::printf("  load               %8.2f ms  %8.1f MB/s  %.2f of plain read\n", tLoad * 1e3,
              mb / tLoad, tRaw / tLoad);
  if (ownFolder) fs::remove_all(folder);
  return 0;
}
