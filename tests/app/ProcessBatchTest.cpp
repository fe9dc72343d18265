// Processing runs driven through the main window and the action dialog, as a user clicks them.
#include <QCheckBox>
#include <QListWidget>

#include "support/MainWindowFixture.h"
#include "support/ScanBatch.h"

namespace kessmar::testing {
namespace {

class ProcessBatchTest : public MainWindowFixture {
 protected:
  static MemTable Batch(const std::vector<std::string>& codes) {
    return ScanBatch("A1B2", "A1B220261208101500", codes);
  }

  std::string Page() const { return ReadFile(DataPath() / "kessmar.html"); }
};

TEST_F(ProcessBatchTest, WebsiteActionWritesThePageWithoutAsking) {
  TfrmMain& w = Start();
  w.tblScannerData = Batch({"A", "B", "A", "A"});
  EXPECT_TRUE(w.ProcessBatch());
  EXPECT_EQ(w.tblDataToProcess.RowCount(), 4);  // merged: leading rows, A ×3, B ×1
  EXPECT_NE(Page().find("name=\"_b_count\" value=\"2\""), std::string::npos);
  EXPECT_EQ(shell.opened.size(), 1u);
  EXPECT_TRUE(w.tmrCheckScanner->isActive());

  w.chkSamenvoegen->click();  // merging off, stored at once
  EXPECT_FALSE(Ini().ReadBool("SAMENVOEGEN", true));
  EXPECT_TRUE(w.ProcessBatch());
  EXPECT_EQ(w.tblDataToProcess.RowCount(), 6);
}

TEST_F(ProcessBatchTest, AskingWithDontAskAgainSwitchesTheActionForGood) {
  TfrmMain& w = Start();
  w.cmbActie->setCurrentIndex(0);
  w.tblScannerData = Batch({"A"});
  WhenDialogOpens([&] {
    EXPECT_TRUE(actie->isVisible());
    actie->chkDontAskAgain->click();
    actie->btnWWW->click();
  });
  EXPECT_TRUE(w.ProcessBatch());
  EXPECT_EQ(w.cmbActie->currentIndex(), 1);
  EXPECT_EQ(Ini().ReadInteger("ACTIE", 9), 1);
  EXPECT_EQ(shell.opened.size(), 1u);

  // The next run asks nothing.
  EXPECT_TRUE(w.ProcessBatch());
  EXPECT_EQ(shell.opened.size(), 2u);
}

TEST_F(ProcessBatchTest,
       VemoChosenWithoutTickAsksAgainNextTimeAndAnUnreachableServerHandsNothingOn) {
  TfrmMain& w = Start();
  w.cmbActie->setCurrentIndex(0);
  w.tblScannerData = Batch({"A"});
  WhenDialogOpens([&] { actie->bntVemo->click(); });
  EXPECT_FALSE(w.ProcessBatch());
  EXPECT_EQ(w.cmbActie->currentIndex(), 0);
  EXPECT_TRUE(shell.opened.empty());

  bool asked = false;
  WhenDialogOpens([&] {
    asked = true;
    actie->reject();  // the close box
  });
  EXPECT_FALSE(w.ProcessBatch());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(w.tmrCheckScanner->isActive());
}

TEST_F(ProcessBatchTest, ClosingTheDialogAfterAnEarlierAnswerBuildsNothing) {
  TfrmMain& w = Start();
  w.cmbActie->setCurrentIndex(0);
  w.tblScannerData = Batch({"A"});
  WhenDialogOpens([&] { actie->btnWWW->click(); });
  EXPECT_TRUE(w.ProcessBatch());
  std::filesystem::remove(DataPath() / "kessmar.html");
  w.tblDataToProcess.Close();

  WhenDialogOpens([&] { actie->close(); });
  EXPECT_FALSE(w.ProcessBatch());
  EXPECT_FALSE(std::filesystem::exists(DataPath() / "kessmar.html"));
  EXPECT_EQ(w.tblDataToProcess.RowCount(), 0);
}

TEST_F(ProcessBatchTest, RedoRightAfterStartUpUsesLastReadWhenThereIsOne) {
  TfrmMain& w = Start();
  w.cmbActie->setCurrentIndex(0);

  // No last_read.dat: the dialog is shown, then nothing happens and nothing is said.
  WhenDialogOpens([&] { actie->btnWWW->click(); });
  w.btnRedo->click();
  EXPECT_FALSE(std::filesystem::exists(DataPath() / "kessmar.html"));
  EXPECT_TRUE(messages.shown.empty());

  Batch({"X", "Y"}).SaveBatchFile(DataPath() / "last_read.dat");
  WhenDialogOpens([&] { actie->btnWWW->click(); });
  w.btnRedo->click();
  EXPECT_EQ(w.tblScannerData.RowCount(), 4);
  EXPECT_NE(Page().find("value=\"Y\""), std::string::npos);
  EXPECT_EQ(scanner.clears, 0);  // reprocessing never clears the scanner
}

TEST_F(ProcessBatchTest, NoActionSelectedBuildsTheBatchButHandsNothingOn) {
  TfrmMain& w = Start();
  w.cmbActie->setCurrentIndex(-1);
  w.tblScannerData = Batch({"A", "A"});
  EXPECT_FALSE(w.ProcessBatch());
  EXPECT_EQ(w.tblDataToProcess.RowCount(), 3);
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(ProcessBatchTest, HistoryLoadThenRedoProcessesTheLoadedBatch) {
  TfrmMain& w = Start();
  Batch({"OLD"}).SaveBatchFile(DataPath() / "20081201-090000.dat");
  Batch({"NEW"}).SaveBatchFile(DataPath() / "20081205-143000.dat");
  WhenDialogOpens([&] {
    ASSERT_EQ(history->lstHistory->count(), 2);
    history->lstHistory->setCurrentRow(1);  // as a click on the older entry
  });
  w.btnHistory->click();
  w.btnRedo->click();
  EXPECT_NE(Page().find("value=\"OLD\""), std::string::npos);
}

}  // namespace
}  // namespace kessmar::testing
