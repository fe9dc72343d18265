// The fuzz target's seed corpus and deterministic mutations of it, run as an ordinary test:
// every input is read without a crash, and a few readings hold for all of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/TempDir.h"
#include "update/ControlFile.h"
#include "update/ControlFileExercise.h"

namespace kessmar::testing {
namespace {

std::vector<std::string> Corpus() {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : std::filesystem::directory_iterator(KESSMAR_UPDATE_CORPUS)) {
    files.emplace_back(entry.path().filename().string(), ReadFile(entry.path()));
  }
  std::sort(files.begin(), files.end());  // the same order on every machine
  std::vector<std::string> texts;
  for (auto& [name, text] : files) texts.push_back(std::move(text));
  return texts;
}

std::string Mutate(std::string text, std::mt19937& random) {
  static const std::string kPieces[] = {"[",
                                        "]",
                                        "=",
                                        "{",
                                        "}",
                                        "\r\n",
                                        "\n",
                                        "\"",
                                        ".",
                                        ",",
                                        "/",
                                        "-",
                                        "99999999999",
                                        "file1",
                                        "{APP}",
                                        "{BRACES}",
                                        std::string(1, '\0'),
                                        "\xFF"};
  const int steps = 1 + static_cast<int>(random() % 6);
  for (int s = 0; s < steps; ++s) {
    const size_t at = text.empty() ? 0 : random() % text.size();
    switch (random() % 3) {
      case 0:
        text.insert(at, kPieces[random() % std::size(kPieces)]);
        break;
      case 1:
        if (!text.empty()) text.erase(at, 1 + random() % 8);
        break;
      default:
        if (!text.empty()) text[at] = static_cast<char>(random());
        break;
    }
  }
  return text;
}

TEST(ControlFileCorpus, EveryInputIsReadWithoutFault) {
  const auto corpus = Corpus();
  ASSERT_GE(corpus.size(), 4u);
  std::mt19937 random(20101104);
  size_t runs = 0;
  for (const std::string& seed : corpus) {
    ExerciseControlFile(seed);
    std::string text = seed;
    for (int i = 0; i < 500; ++i) {
      text = (i % 50 == 0) ? seed : Mutate(text, random);
      ExerciseControlFile(text);
      ++runs;
    }
  }
  EXPECT_EQ(runs, corpus.size() * 500);
}

TEST(ControlFileCorpus, TheSeedsReadAsWritten) {
  const auto corpus = Corpus();
  const ControlFile application = ControlFile::Parse(corpus[0]);
  EXPECT_EQ(application.ReadInteger("files", "count", 0), 2);
  EXPECT_EQ(application.ReadString("action", "runafterparam"), "\"a b\" c");
  const ControlFile odd = ControlFile::Parse(corpus.back());
  EXPECT_EQ(odd.ReadInteger("files", "count", 0), 0) << "the first, unreadable value counts";
  EXPECT_EQ(odd.ReadString("file1", "url"), "{APP");
  EXPECT_FALSE(odd.ReadBool("file2", "preselect", true));
}

}  // namespace
}  // namespace kessmar::testing
