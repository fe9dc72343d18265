// Processing the batch read from the scanner, or again by "Opnieuw verwerken": choosing the
// action and handing the batch on.
#include <QCheckBox>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "actions/HandOnError.h"
#include "actions/OrderPage.h"
#include "actions/TfrmActie.h"
#include "app/DeferredEditComboBox.h"
#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "batch/BatchHistory.h"
#include "batch/ScanTables.h"
#include "batch/TfrmHistory.h"
#include "common/ErrorText.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"

namespace kessmar {

namespace {
constexpr int kActionAsk = 0;
constexpr int kActionWebsite = 1;
constexpr int kActionVemo = 2;
}  // namespace

bool TfrmMain::ProcessBatch() {
  return RunProcessing(false);
}

bool TfrmMain::RunProcessing(bool byUser) {
  tmrCheckScanner->stop();
  runByUser_ = byUser;
  bool result = false;
  try {
    result = ChooseAndRunAction();
  } catch (const HandOnError& e) {
    // A run that ends in an error never counts as handed on: the scanner keeps its scans.
    qCWarning(lcActions).noquote() << "The processing run failed:" << e.what();
    TellFailedRun(e.what());
  } catch (const std::exception& e) {
    qCWarning(lcActions).noquote() << "The processing run failed:" << e.what();
  } catch (...) {
    qCWarning(lcActions) << "The processing run failed";
  }
  if (result) link_.ForgetToldFailure();
  runByUser_ = false;
  tmrCheckScanner->start();
  return result;
}

bool TfrmMain::ChooseAndRunAction() {
  int action = cmbActie->currentIndex();
  if (action == kActionAsk) {
    TfrmActie* actie = Actie();
    if (actie == nullptr) return false;
    actie->exec();
    if (!actie->ActionChosen()) {  // closed with its close box
      qCInfo(lcActions) << "No action chosen; nothing handed on";
      return false;
    }
    action = actie->ChosenAction();
    if (actie->DontAskAgain()) {
      cmbActie->setCurrentIndex(action);
      cmbActieSelect();
    }
  }
  BuildBatchToProcess();
  bool handedOn = false;
  if (action == kActionWebsite) handedOn = SendBatchToWebsite();
  if (action == kActionVemo) handedOn = TransferBatchToVemo();
  if (handedOn) {
    qCInfo(lcActions).noquote()
        << QString("Batch handed on by action %1 (%2)").arg(action).arg(cmbActie->itemText(action));
  } else {
    qCWarning(lcActions).noquote()
        << QString("The processing run did not hand the batch on (action %1)").arg(action);
  }
  return handedOn;
}

void TfrmMain::TellFailedRun(const std::string& reason) {
  if (link_.ShouldTellFailure(runByUser_)) services_.messages.ShowError(reason);
}

void TfrmMain::BuildBatchToProcess() {
  kessmar::BuildBatchToProcess(tblScannerData, tblDataToProcess, chkSamenvoegen->isChecked(),
                               LastReadPath(DataFolder));
}

bool TfrmMain::SendBatchToWebsite() {
  return kessmar::SendBatchToWebsite(tblDataToProcess, DataFolder, services_.shell);
}

void TfrmMain::btnHistoryClick() {
  if (TfrmHistory* history = History()) history->ShowHistory(DataFolder);
}

void TfrmMain::btnRedoClick() {
  link_.BeforeRunByUser();
  if (!RunProcessing(true)) return;
  try {
    link_.HandedOnByUser();
  } catch (...) {
    LogHandlerFailure("Opnieuw verwerken", CurrentExceptionText());
  }
}

}  // namespace kessmar
