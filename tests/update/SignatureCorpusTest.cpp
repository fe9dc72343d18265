// The signature fuzz target's seed corpus and mutations of it, run as an ordinary test: nothing
// crashes, only the signed seed verifies, and no mutation of it does.
#include <gtest/gtest.h>

#include <random>

#include "support/TempDir.h"
#include "update/SignatureExercise.h"

namespace kessmar::testing {
namespace {

TEST(SignatureCorpus, OnlyTheSignedSeedVerifiesAndNoMutationOfIt) {
  const std::string dir = KESSMAR_SIGNATURE_CORPUS;
  EXPECT_TRUE(ExerciseSignatureCheck(ReadFile(dir + "/signed.txt")));
  for (const char* name :
       {"changed-control.txt", "short-signature.txt", "padding.txt", "key-file.txt"}) {
    EXPECT_FALSE(ExerciseSignatureCheck(ReadFile(dir + "/" + name))) << name;
  }
  const std::string seed = ReadFile(dir + "/signed.txt");
  std::mt19937 random(11);
  for (int i = 0; i < 2000; ++i) {
    std::string mutated = seed;
    const size_t at = random() % mutated.size();
    if (i % 3 == 0) {
      mutated.erase(at, 1 + random() % 8);
    } else {
      mutated[at] = static_cast<char>(mutated[at] ^ (1 + random() % 255));
    }
    EXPECT_FALSE(ExerciseSignatureCheck(mutated)) << "mutation " << i;
  }
}

}  // namespace
}  // namespace kessmar::testing
