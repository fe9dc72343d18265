// The scanner link's handlers: each reads the controls, asks the link, and shows its answer.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/DeferredEditComboBox.h"
#include "app/MainWindowLinkView.h"
#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "common/ErrorText.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"

namespace kessmar {
namespace {

constexpr int kPollInterval = 3000;
constexpr int kAutoModeFirstTick = 100;

// The combo entry that is selected, when its text is the combo's text; -1 when the user typed
// something that is no entry or nothing is selected.
int SelectedEntry(const DeferredEditComboBox* combo) {
  const int index = combo->currentIndex();
  if (index >= 0 && combo->itemText(index) == combo->EditText()) return index;
  return -1;
}

void SelectEntry(DeferredEditComboBox* combo, int index, const QString& textWhenNone) {
  combo->setCurrentIndex(index);
  if (index < 0) combo->SetEditText(textWhenNone);
}

}  // namespace

void TfrmMain::RefreshPortList() {
  const auto rebuild = link_.RefreshPortList(cmbCOMPORTS->count());
  if (!rebuild) return;
  const QString editText = cmbCOMPORTS->EditText();
  cmbCOMPORTS->clear();
  for (const auto& entry : rebuild->entries) cmbCOMPORTS->addItem(QString::fromStdString(entry));
  SelectEntry(cmbCOMPORTS, rebuild->selection.value_or(-1), editText);
}

void TfrmMain::chkAutoClick() {
  if (chkAuto->isChecked()) {
    cmbCOMPORTS->setEnabled(false);
    btnConnect->setEnabled(false);
    QCoreApplication::processEvents();
    tmrCheckScanner->setInterval(kAutoModeFirstTick);
  } else {
    cmbCOMPORTSSelect();
    cmbCOMPORTS->setEnabled(true);
    btnConnect->setEnabled(true);
    if (link_.Connected) btnConnect->setText(texts::kDisconnect);
  }
  WriteSetting([&] { settings_.WriteBool(settings::kAuto, chkAuto->isChecked()); });
}

void TfrmMain::cmbCOMPORTSSelect() {
  const int selected = SelectedEntry(cmbCOMPORTS);
  const QString text = selected >= 0 ? cmbCOMPORTS->itemText(selected) : cmbCOMPORTS->EditText();
  if (!link_.ChoosePort(text.toStdString())) return;
  WriteSetting([&] { settings_.WriteText(settings::kComPort, link_.ComPort); });
}

void TfrmMain::btnConnectClick(bool byUser) {
  bool opened = true;
  try {
    const QString text = cmbCOMPORTS->EditText();
    if (!text.isEmpty()) {
      int match = -1;
      for (int i = 0; i < cmbCOMPORTS->count() && match < 0; ++i) {
        if (cmbCOMPORTS->itemText(i).compare(text, Qt::CaseInsensitive) == 0) match = i;
      }
      SelectEntry(cmbCOMPORTS, match, QString());
    }
    const int selected = SelectedEntry(cmbCOMPORTS);
    std::optional<std::string> entry;
    if (selected >= 0) entry = cmbCOMPORTS->itemText(selected).toStdString();
    opened = link_.ConnectClick(entry);
  } catch (...) {
    LogHandlerFailure("The connect button", CurrentExceptionText());
  }
  // A port that would not open leaves the setting as it was.
  if (byUser && opened) {
    WriteSetting([&] { settings_.WriteBool(settings::kConnect, link_.Connected); });
  }
}

void TfrmMain::CheckScannerLost() {
  link_.CheckScannerLost();
}

void TfrmMain::tmrCheckScannerTimer() {
  if (!tmrCheckScanner->isActive()) return;
  tmrCheckScanner->stop();
  tmrCheckScanner->setInterval(kPollInterval);

  if (ConnectAtStart) {
    ConnectAtStart = false;
    btnConnectClick(false);
    chkAutoClick();
  }
  try {
    RefreshPortList();
    link_.Tick(DataFolder);
  } catch (...) {
    LogHandlerFailure("The poll tick", CurrentExceptionText());
  }
  tmrCheckScanner->start();
}

void TfrmMain::ReadBatchFromScanner() {
  link_.ReadBatch(DataFolder);
}

void MainWindowLinkView::ShowConnectButton(bool linked) {
  window_.btnConnect->setText(linked ? texts::kDisconnect : texts::kConnect);
}

void MainWindowLinkView::ShowScannerId(const std::string& id) {
  if (id.empty()) {
    window_.lblScannerId->clear();
  } else {
    window_.lblScannerId->setText(QString::fromStdString(id));
  }
}

void MainWindowLinkView::ShowLinkState(bool up) {
  window_.ShowLinkState(up);
}

void MainWindowLinkView::SelectPortOf(int32_t port) {
  DeferredEditComboBox* combo = window_.cmbCOMPORTS;
  const QString plain = QStringLiteral("COM%1").arg(port);
  int index = combo->findText(plain, Qt::MatchExactly);
  if (index < 0) index = combo->findText(plain + " (Scanner)", Qt::MatchExactly);
  SelectEntry(combo, index, QString());
  window_.cmbCOMPORTSSelect();
}

void MainWindowLinkView::ClearTypedPort() {
  if (SelectedEntry(window_.cmbCOMPORTS) < 0) window_.cmbCOMPORTS->SetEditText(QString());
}

bool MainWindowLinkView::IsAutomatic() {
  return window_.chkAuto->isChecked();
}

void MainWindowLinkView::PumpEvents() {
  QCoreApplication::processEvents();
}

void MainWindowLinkView::ShowInfo(const std::string& text) {
  window_.services_.messages.ShowInfo(text);
}

void MainWindowLinkView::ShowError(const std::string& text) {
  window_.services_.messages.ShowError(text);
}

void MainWindowLinkView::StopPolling() {
  window_.tmrCheckScanner->stop();
}

void MainWindowLinkView::StartPolling() {
  window_.tmrCheckScanner->start();
}

void MainWindowLinkView::Poll() {
  window_.tmrCheckScannerTimer();
}

bool MainWindowLinkView::ProcessBatch() {
  return window_.ProcessBatch();
}

void MainWindowLinkView::Log(LinkLogArea area, LinkLogLevel level, const std::string& text) {
  using Category = const QLoggingCategory& (*)();
  const Category category = area == LinkLogArea::Batch ? lcBatch : lcScanner;
  const QString line = QString::fromStdString(text);
  switch (level) {
    case LinkLogLevel::Debug:
      qCDebug(category).noquote() << line;
      break;
    case LinkLogLevel::Info:
      qCInfo(category).noquote() << line;
      break;
    case LinkLogLevel::Warning:
      qCWarning(category).noquote() << line;
      break;
  }
}

}  // namespace kessmar
