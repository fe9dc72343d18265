// A road whose library cannot be loaded, in a program of its own: a library that an earlier test
// loaded into the same process could not be made unfindable any more.
#include "support/MainWindowFixture.h"
#include "support/ScanBatch.h"
#include "support/ScopedEnvironment.h"

namespace kessmar::testing {
namespace {

using MissingLibraryTest = MainWindowFixture;

// Each road whose library cannot be loaded tells the user in Dutch, naming the library.
TEST_F(MissingLibraryTest, AMissingLibraryShutsOnlyItsOwnRoadAndTheUserIsToldWhy) {
  ScopedEnvironment unfindable{{"KESSMAR_LIBPQ", (dir / "missing" / "libpq.so.5").string()},
                               {"KESSMAR_LIBCURL", (dir / "missing" / "libcurl.so.4").string()}};
  TfrmMain& w = Start();
  w.cmbActie->setCurrentIndex(2);
  w.tblScannerData = ScanBatch("A1B2", "A1B220261208101500", {"A"});
  EXPECT_FALSE(w.ProcessBatch());
  w.Checkvooreenupdate1Click();
  w.cmbActie->setCurrentIndex(1);
  EXPECT_TRUE(w.ProcessBatch());
  unfindable.Restore();
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0],
            "Stuur naar Vemo is niet mogelijk: het onderdeel libpq.so.5 ontbreekt op deze "
            "computer. Installeer de Kessmar Scanner Tool opnieuw.");
  EXPECT_EQ(messages.shown[1],
            "Zoeken naar een nieuwe versie is niet mogelijk: het onderdeel libcurl.so.4 ontbreekt "
            "op deze computer. Installeer de Kessmar Scanner Tool opnieuw.");
  EXPECT_EQ(shell.opened.size(), 1u);
}

}  // namespace
}  // namespace kessmar::testing
