// TfrmUpdate: the update window. It owns the update component WebUpdate, offers a newer
// version with its what's-new text, shows the download with a transfer rate, and ends with a
// completion page whose "&OK" restarts the program through the updater.
//
// Created once at start-up and only ever shown modally by OfferUpdate. Handlers catch every
// error at their own boundary and show it in an error box; OfferUpdate passes the errors of its
// check to its caller. The window owns its controls (Qt parent ownership) and WebUpdate.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/WebUpdate.h"

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextEdit;
class QTimer;
class QWidget;

namespace kessmar {

class ShellOpen;
class UserMessages;

// Sets web up for the program's update server as the update window sets up its own, without
// the window's hooks: the control file at ControlFileUrl(), KESSMAR_UPDATE_CA_FILE, the trusted
// keys (none readable: no URL, so nothing is checked), the fetch helper, refusals and notices
// logged. Never throws except std::bad_alloc.
void ConfigureProgramUpdate(TWebUpdate& web);

class TfrmUpdate : public QDialog {
  Q_OBJECT

 public:
  // messages and shell must outlive the window. WebUpdate is configured as the program uses it:
  // the control file at ControlFileUrl(), KESSMAR_UPDATE_CA_FILE as extra authorities.
  // KESSMAR_UPDATE_AUTOANSWER=1 (for tests that run the real program) presses "Ja" once the
  // offer is ready, "&OK" on the completion page, and answers Yes to the shutdown question.
  TfrmUpdate(UserMessages& messages, ShellOpen& shell, QWidget* parent = nullptr);
  ~TfrmUpdate() override;

  // Ends the program through its normal termination (the main window's end of session); unset,
  // the event loop is simply asked to end.
  std::function<void()> EndProgram;
  // The millisecond tick the transfer rate is measured with (tests replace it).
  std::function<uint32_t()> TickCount;

  // Checks for an update and, when one is available, shows the window modally; returns when
  // it has closed. A call while an offer is already running only brings the window forward.
  // Errors of the check (a {LAD} folder that cannot be named) pass to the caller.
  void OfferUpdate();
  // OfferUpdate for a user who asked (the Help menu): when no update was offered, tells why an
  // update was refused, and that a program whose folder this user cannot write (a package
  // install) is updated through the system's package manager.
  void OfferUpdateAsked();
  // True while OfferUpdate runs (its check, or the window shown).
  bool Offering() const { return offering_; }
  // CloseSession, then close the window.
  void CloseAndExit();

  // Handlers.
  void tmrStartUpdateTimer();
  void WebUpdateDownloadedWhatsNew(const std::vector<std::string>& text, int& res);
  void btnStartClick();
  void btnLaterClick();
  void CancelButtonClick();
  void RestartButtonClick();
  void WebUpdateFileProgress(const std::string& fileName, int64_t pos, int64_t size);
  // The download phase started by "Ja".
  void RunDownload();

  TWebUpdate WebUpdate;
  uint32_t FileStartTick = 0;
  std::string ProgressFileName;

  // Controls, named as in the window's design.
  QFrame* Shape1 = nullptr;
  QLabel* Billboard = nullptr;
  QStackedWidget* pagMain = nullptr;
  QWidget* tabNewVersionAvailable = nullptr;
  QLabel* lblNieuweUpdate = nullptr;
  QTextEdit* memWhatsNew = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnLater = nullptr;
  QWidget* tabProgress = nullptr;
  QLabel* lblDownloading = nullptr;
  QLabel* lblCurrentFile = nullptr;
  QLabel* FileLabel = nullptr;
  QLabel* lblSpeed = nullptr;
  QProgressBar* FileProgress = nullptr;
  QLabel* lblProgress = nullptr;
  QProgressBar* TotalProgress = nullptr;
  QPushButton* CancelButton = nullptr;
  QWidget* tabDone = nullptr;
  QLabel* lblUpgradeReady = nullptr;
  QLabel* lblUpgradeReadyMessage = nullptr;
  QPushButton* RestartButton = nullptr;
  QTimer* tmrStartUpdate = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  void CreateOfferPage();
  // OfferUpdate's work; true when the window was shown.
  bool Offer();
  void ConfigureWebUpdate();
  // Runs pending events between transfer blocks; notices when the program is ending.
  void PumpEvents();
  // Runs a handler body, showing its error instead of letting it reach the event loop.
  void Guarded(const std::function<void()>& body);

  UserMessages& messages_;
  ShellOpen& shell_;
  bool offering_ = false;
  bool programEnding_ = false;
  bool autoAnswer_ = false;
  int64_t lastEndingProbe_ = 0;
  int64_t lastPumpUs_ = 0;
  uint32_t lastShownTick_ = 0;
};

}  // namespace kessmar
