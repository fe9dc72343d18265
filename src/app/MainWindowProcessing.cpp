// A batch from the scanner or the history: reading, saving, processing, reprocessing.
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

#include "actions/OrderPage.h"
#include "actions/TfrmActie.h"
#include "app/TfrmMain.h"
#include "batch/ScanTables.h"
#include "batch/TfrmHistory.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

namespace {
constexpr int kActionAsk = 0;
constexpr int kActionWebsite = 1;
constexpr int kActionVemo = 2;
}  // namespace

void TfrmMain::ReadBatchFromScanner() {
  std::error_code ignored;
  std::filesystem::create_directories(DataFolder, ignored);
  try {
    // The batch is read whole before it replaces the one in memory: a read that fails part-way
    // leaves the table, the files and the scanner as they were.
    auto batch = ReadScannerBatch(services_.scanner, LocalTime(services_.clock()));
    if (!batch) return;
    tblScannerData = std::move(*batch);
    SaveBatchWithHistory(tblScannerData, DataFolder, services_.clock);
    if (ProcessBatch()) services_.scanner.ClearData();
  } catch (...) {
  }
}

bool TfrmMain::ProcessBatch() {
  tmrCheckScanner->stop();
  bool result = false;
  try {
    result = ChooseAndRunAction();
  } catch (...) {
    // A run that ends in an error never counts as handed on: the scanner keeps its scans.
    result = false;
  }
  tmrCheckScanner->start();
  return result;
}

bool TfrmMain::ChooseAndRunAction() {
  int action = cmbActie->currentIndex();
  if (action == kActionAsk) {
    if (!frmActie_) return false;
    frmActie_->exec();
    if (!frmActie_->ActionChosen()) return false;  // closed with its close box
    action = frmActie_->ChosenAction();
    if (frmActie_->DontAskAgain()) {
      cmbActie->setCurrentIndex(action);
      cmbActieSelect();
    }
  }
  BuildBatchToProcess();
  if (action == kActionWebsite) return SendBatchToWebsite();
  if (action == kActionVemo) return TransferBatchToVemo();
  return false;  // no action selected
}

void TfrmMain::BuildBatchToProcess() {
  kessmar::BuildBatchToProcess(tblScannerData, tblDataToProcess, chkSamenvoegen->isChecked(),
                               DataFolder + "last_read.dat");
}

bool TfrmMain::SendBatchToWebsite() {
  return kessmar::SendBatchToWebsite(tblDataToProcess, DataFolder, services_.shell);
}

bool TfrmMain::TransferBatchToVemo() {
  // The back-office transfer is not available in this version: nothing is handed on, so the
  // scanner keeps its scans.
  return false;
}

void TfrmMain::btnHistoryClick() {
  if (frmHistory_) frmHistory_->ShowHistory(DataFolder);
}

void TfrmMain::btnRedoClick() {
  ProcessBatch();
}

}  // namespace kessmar
