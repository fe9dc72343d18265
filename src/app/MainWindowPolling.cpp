// The scanner link: port list, automatic and manual connection, the poll tick.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"
#include "scanner/PortEntries.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {
namespace {

constexpr int kPollInterval = 3000;
constexpr int kAutoModeFirstTick = 100;

// The combo entry that is selected, when its text is the combo's text; -1 when the user typed
// something that is no entry or nothing is selected.
int SelectedEntry(const QComboBox* combo) {
  const int index = combo->currentIndex();
  if (index >= 0 && combo->itemText(index) == combo->currentText()) return index;
  return -1;
}

void SelectEntry(QComboBox* combo, int index, const QString& textWhenNone) {
  combo->setCurrentIndex(index);
  if (index < 0) combo->setEditText(textWhenNone);
}

}  // namespace

void TfrmMain::RefreshPortList() {
  try {
    PortList = services_.enumeratePorts(false);
  } catch (...) {
    PortList.reset();
  }
  if (!PortList) return;
  if (cmbCOMPORTS->count() == static_cast<int>(PortList->size())) return;

  const QString editText = cmbCOMPORTS->currentText();
  cmbCOMPORTS->clear();
  const auto entries = ComboEntriesFor(*PortList);
  for (const auto& entry : entries) cmbCOMPORTS->addItem(QString::fromStdString(entry));
  const auto selection = ComboSelectionFor(entries, ComPort);
  SelectEntry(cmbCOMPORTS, selection.value_or(-1), editText);
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
    if (Connected) btnConnect->setText(texts::kDisconnect);
  }
  WriteSetting([&] { settings_.WriteBool(settings::kAuto, chkAuto->isChecked()); });
}

void TfrmMain::cmbCOMPORTSSelect() {
  if (cmbCOMPORTS->currentText().trimmed().isEmpty()) return;
  const int selected = SelectedEntry(cmbCOMPORTS);
  ComPort =
      (selected >= 0 ? cmbCOMPORTS->itemText(selected) : cmbCOMPORTS->currentText()).toStdString();
  ComPort = CutAtFirstBlank(ComPort);
  WriteSetting([&] { settings_.WriteText(settings::kComPort, ComPort); });
}

void TfrmMain::btnConnectClick(bool byUser) {
  auto& scanner = services_.scanner;
  try {
    const QString text = cmbCOMPORTS->currentText();
    if (!text.isEmpty()) {
      int match = -1;
      for (int i = 0; i < cmbCOMPORTS->count() && match < 0; ++i) {
        if (cmbCOMPORTS->itemText(i).compare(text, Qt::CaseInsensitive) == 0) match = i;
      }
      SelectEntry(cmbCOMPORTS, match, QString());
    }
    const int selected = SelectedEntry(cmbCOMPORTS);
    if (selected < 0) {
      btnConnect->setText(texts::kConnect);
      lblScannerId->clear();
      if (Connected) scanner.Restore();
      CheckScannerLost();
      ConnectedPort = -1;
    } else if (const auto port =
                   PortNumberOfComboEntry(cmbCOMPORTS->itemText(selected).toStdString());
               !port) {
      // Not a port number: nothing visible happens.
    } else if (*port == ConnectedPort) {
      tmrCheckScanner->stop();
      try {
        btnConnect->setText(texts::kConnect);
        lblScannerId->clear();
        if (Connected) scanner.Restore();
        CheckScannerLost();
        ConnectedPort = -1;
      } catch (...) {
      }
      tmrCheckScanner->start();
    } else {
      CheckScannerLost();
      if (scanner.InitEx(*port) < 0) {  // silently, and CONNECT stays as it was
        qCWarning(lcScanner).nospace() << "COM" << *port << " could not be opened";
        return;
      }
      retry_.Reset();
      if (scanner.GetCTS() > 0 || scanner.GetDSR() > 0) {
        ConnectedPort = *port;
        btnConnect->setText(texts::kDisconnect);
        tmrCheckScannerTimer();
      } else {
        btnConnect->setText(texts::kConnect);
        if (Connected) scanner.Restore();
        Connected = false;
        ConnectedPort = -1;
        services_.messages.ShowInfo(texts::kNoScannerDetected);
      }
    }
  } catch (...) {
  }
  if (byUser) WriteSetting([&] { settings_.WriteBool(settings::kConnect, Connected); });
}

void TfrmMain::CheckScannerLost() {
  auto& scanner = services_.scanner;
  const bool automatic = chkAuto->isChecked();
  if (automatic && ConnectAttempts >= 2) {
    if (scanner.GetCTS() == 0 && scanner.GetDSR() == 0) {
      services_.messages.ShowInfo(texts::kReconnectScanner);
      Connected = true;
    }
    ConnectAttempts = 0;
  }
  if (Connected) {
    qCInfo(lcScanner) << "The scanner link is down";
    ConnectAttempts = 0;
    ShowLinkDown();
    if (automatic) {
      lblScannerId->clear();
      scanner.Restore();
      ConnectedPort = -1;
      if (SelectedEntry(cmbCOMPORTS) < 0) cmbCOMPORTS->setEditText(QString());
    }
    Connected = false;
  }
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

  auto& scanner = services_.scanner;
  try {
    RefreshPortList();
    bool initFailed = false;
    if (chkAuto->isChecked() && PortList) {
      for (const auto& entry : *PortList) {
        if (!IsScannerPortEntry(entry) || Connected) continue;
        try {
          const auto port = PortNumberOfEntry(entry);
          if (!port) continue;
          const QString plain = QStringLiteral("COM%1").arg(*port);
          int index = cmbCOMPORTS->findText(plain, Qt::MatchExactly);
          if (index < 0) index = cmbCOMPORTS->findText(plain + " (Scanner)", Qt::MatchExactly);
          SelectEntry(cmbCOMPORTS, index, QString());
          cmbCOMPORTSSelect();
          if (scanner.InitEx(*port) < 0) {
            // Tried again on every tick: said once until it changes.
            if (lastPortFailure_ != *port) {
              qCWarning(lcScanner).nospace() << "COM" << *port << " could not be opened";
            }
            lastPortFailure_ = *port;
            initFailed = true;
            break;
          }
          lastPortFailure_ = 0;
          retry_.Reset();  // a scanner connected again gets its scans tried at once
          if (scanner.GetCTS() > 0 || scanner.GetDSR() > 0) ReadBatchFromScanner();
          ConnectedPort = *port;
          lblScannerId->setText(QString::fromStdString(GetScannerId(scanner)));
          ++ConnectAttempts;
          break;
        } catch (...) {
          // Only this entry is passed over.
        }
      }
    }
    if (!initFailed) {
      if (scanner.GetCTS() <= 0 && scanner.GetDSR() <= 0) {
        CheckScannerLost();
      } else if (!Connected) {
        Connected = true;
        ShowLinkUp();
        QCoreApplication::processEvents();
        scanner.Interrogate();
        lblScannerId->setText(QString::fromStdString(GetScannerId(scanner)));
        qCInfo(lcScanner).nospace().noquote()
            << "Connected to the scanner " << lblScannerId->text() << " on COM" << ConnectedPort;
        ReadBatchFromScanner();
      } else if (scanner.GetCTS() == 1) {
        ReadBatchFromScanner();
      }
    }
  } catch (...) {
  }
  tmrCheckScanner->start();
}

}  // namespace kessmar
