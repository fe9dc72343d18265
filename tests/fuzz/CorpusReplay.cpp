// Runs a fuzz harness over its seed corpus and over fixed mutations of the seeds, as an ordinary
// test: the harness must build in every build, and its checks must hold for these inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fuzz/FuzzTarget.h"

#define KESSMAR_FUZZ_STRING2(x) #x
#define KESSMAR_FUZZ_STRING(x) KESSMAR_FUZZ_STRING2(x)
#include "support/TempDir.h"

namespace {

// The input being run and its name, for a failed check's report.
struct Case {
  std::string name;
  std::string bytes;
  std::string report;
};

Case& CurrentCase() {
  static Case current;
  return current;
}

}  // namespace

// Saves the failing input where libFuzzer can run it again (see docs/fuzzing.md).
extern "C" const char* KessmarFuzzCurrentCase() {
  Case& current = CurrentCase();
  const std::filesystem::path saved =
      std::filesystem::absolute(std::string("failed-") + KESSMAR_FUZZ_STRING(KESSMAR_FUZZ_SUITE));
  current.report = current.name + ", saved as " + saved.string();
  try {
    kessmar::testing::WriteFile(saved, current.bytes);
  } catch (const std::exception&) {
    current.report = current.name + " (could not be saved)";
  }
  return current.report.c_str();
}

namespace kessmar::fuzz {
namespace {

struct Seed {
  std::string name;
  std::string bytes;
};

std::vector<Seed> Corpus() {
  std::vector<Seed> seeds;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(KESSMAR_FUZZ_CORPUS, error)) {
    seeds.push_back({entry.path().filename().string(), testing::ReadFile(entry.path())});
  }
  std::sort(seeds.begin(), seeds.end(),
            [](const Seed& a, const Seed& b) { return a.name < b.name; });
  return seeds;
}

void RunHarness(const std::string& name, std::string bytes) {
  CurrentCase().name = name;
  CurrentCase().bytes = std::move(bytes);
  const std::string& input = CurrentCase().bytes;
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// A few of the changes libFuzzer makes: flipped bits, special bytes, cuts, inserted and
// repeated pieces, and pieces of another seed.
std::string Mutate(std::string bytes, const std::vector<Seed>& seeds, std::mt19937& random) {
  static constexpr unsigned char kSpecial[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFE, 0xFF};
  auto below = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
  const int steps = 1 + static_cast<int>(random() % 4);
  for (int step = 0; step < steps; ++step) {
    const size_t at = below(bytes.size());
    switch (random() % 6) {
      case 0:
        if (!bytes.empty()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
        break;
      case 1:
        if (!bytes.empty()) bytes[at] = static_cast<char>(kSpecial[below(sizeof kSpecial)]);
        break;
      case 2:
        bytes.resize(at);
        break;
      case 3:
        bytes.insert(at, 1 + below(8), static_cast<char>(random()));
        break;
      case 4:
        bytes.insert(at, bytes.substr(below(bytes.size()), below(32)));
        break;
      default: {
        const std::string& other = seeds[below(seeds.size())].bytes;
        bytes.insert(at, other.substr(below(other.size()), below(64)));
        break;
      }
    }
  }
  return bytes;
}

// Named after the fuzz target, so that every target's test has a name of its own.
TEST(KESSMAR_FUZZ_SUITE, SeedsAndMutationsPassTheHarness) {
  const std::vector<Seed> seeds = Corpus();
  ASSERT_FALSE(seeds.empty()) << "no seed corpus in " << KESSMAR_FUZZ_CORPUS;
  for (const Seed& seed : seeds) {
    RunHarness("seed " + seed.name, seed.bytes);
  }
  std::mt19937 random(20261209);
  for (int i = 0; i < KESSMAR_FUZZ_MUTATIONS; ++i) {
    const Seed& seed = seeds[random() % seeds.size()];
    RunHarness("mutation " + std::to_string(i) + " of seed " + seed.name,
               Mutate(seed.bytes, seeds, random));
  }
}

}  // namespace
}  // namespace kessmar::fuzz
