// The seed corpus and deterministic mutations of it through LoadBatchFile: every input loads or
// fails with TableError, nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

namespace kessmar::test {
namespace {

std::vector<std::string> Corpus() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(KESSMAR_FUZZ_CORPUS)) {
    files.push_back(ReadBytes(entry.path()));
  }
  std::sort(files.begin(), files.end());  // the same order on every machine
  return files;
}

// Loads bytes as a file; false when anything but TableError escaped.
bool LoadsOrFailsCleanly(const TempDir& dir, const std::string& bytes, int& loaded) {
  WriteBytes(dir / "case.dat", bytes);
  MemTable table(MemTable::ScanRecordFields());
  try {
    table.LoadBatchFile(dir / "case.dat");
    ++loaded;
  } catch (const TableError&) {
  } catch (...) {
    return false;
  }
  if (!table.IsOpen()) return true;  // failed before the fields were in place
  for (table.First(); !table.Eof(); table.Next()) {
    for (const FieldDef& def : table.Fields()) (void)table.AsText(def.name);
  }
  return true;
}

std::string Mutate(std::string bytes, std::mt19937& random) {
  static constexpr unsigned char kInteresting[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x08,
                                                   0x09, 0x0C, 0x12, 0x14, 0x7F, 0x80, 0xFF};
  auto below = [&](size_t n) { return n == 0 ? 0 : static_cast<size_t>(random() % n); };
  const int steps = 1 + static_cast<int>(random() % 4);
  for (int s = 0; s < steps; ++s) {
    const size_t at = below(bytes.size());
    switch (random() % 5) {
      case 0:
        if (!bytes.empty()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
        break;
      case 1:
        bytes.resize(at);
        break;
      case 2:
        bytes.insert(at, 1 + below(8), static_cast<char>(random()));
        break;
      case 3:
        if (!bytes.empty()) bytes[at] = static_cast<char>(kInteresting[below(sizeof kInteresting)]);
        break;
      default:
        bytes.insert(at, bytes.substr(below(bytes.size()), below(32)));
        break;
    }
  }
  return bytes;
}

TEST(BatchCorpus, SeedsLoad) {
  TempDir dir;
  const std::vector<std::string> corpus = Corpus();
  ASSERT_GE(corpus.size(), 5u);
  int loaded = 0;
  for (const std::string& file : corpus) EXPECT_TRUE(LoadsOrFailsCleanly(dir, file, loaded));
  EXPECT_GE(loaded, 5);
}

TEST(BatchCorpus, MutationsLoadOrFailCleanly) {
  TempDir dir;
  const std::vector<std::string> corpus = Corpus();
  std::mt19937 random(20261208);
  int loaded = 0;
  for (int i = 0; i < 4000; ++i) {
    const std::string bytes = Mutate(corpus[random() % corpus.size()], random);
    ASSERT_TRUE(LoadsOrFailsCleanly(dir, bytes, loaded)) << "case " << i;
  }
  EXPECT_GT(loaded, 0);  // some mutations still make valid files
}

}  // namespace
}  // namespace kessmar::test
