// The update check of the main window: the daily check and Help > "Nieuwe versie bechikbaar ?".
#include <QAction>
#include <QCoreApplication>
#include <QTimer>
#include <chrono>

#include "app/MainWindowTexts.h"
#include "app/RoadLibraries.h"
#include "app/TfrmMain.h"
#include "common/ErrorText.h"
#include "platform/Memory.h"
#include "platform/UserMessages.h"
#include "platform/lazy/Libraries.h"
#include "platform/qt/Diagnostics.h"
#include "update/TfrmUpdate.h"

namespace kessmar {

void TfrmMain::AttachUpdateWindow(TfrmUpdate* update) {
  frmUpdate_ = update;
}

TfrmUpdate* TfrmMain::Update() {
  if (!frmUpdate_ && makers_.update) frmUpdate_ = makers_.update();
  return frmUpdate_.data();
}

bool TfrmMain::UpdateAvailable() {
  TWebUpdate check;
  ConfigureProgramUpdate(check);
  check.ProcessMessages = [this, &check, last = std::chrono::steady_clock::time_point()]() mutable {
    // The check calls this far more often than events need.
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(1)) return;
    last = now;
    QCoreApplication::processEvents();
    // A program that is ending does not wait for the check.
    if (Closing) check.RequestCancel();
  };
  check.RequireTransferLibrary();
  return check.QueryUpdateAvailable(false);
}

void TfrmMain::DropIdleUpdateWindow() {
  // Only a window this tool made, and never one that is offering (a nested event loop of it
  // may be what runs this).
  if (frmUpdate_ && makers_.dropUpdate && makers_.update && !frmUpdate_->Offering() &&
      !frmUpdate_->isVisible()) {
    frmUpdate_ = nullptr;
    makers_.dropUpdate();
  }
  // What the check and the window used goes back to the system, not to the idle footprint.
  platform::ReleaseFreeMemory();
}

void TfrmMain::Checkvooreenupdate1Click() {
  // Errors of an offer the user asked for are shown, as the program shows any error.
  try {
    TfrmUpdate* update = Update();
    // The library is loaded here, or by the fetch helper during the check, which then says so.
    const std::string missing = MissingRoadLibrary(
        [update] {
          if (update == nullptr) {
            platform::RequireLibcurl();
            return;
          }
          update->WebUpdate.RequireTransferLibrary();
          update->OfferUpdateAsked();
        },
        lcUpdate(), "The update");
    DropIdleUpdateWindow();
    if (!missing.empty()) {
      services_.messages.ShowError(MissingLibraryText(texts::kUpdateLibraryMissing, missing));
    }
  } catch (const std::exception& e) {
    services_.messages.ShowError(e.what());
  }
}

void TfrmMain::trmCheckForUpdateTimer() {
  // First tick about a second after start-up, then once a day after the previous check ended.
  trmCheckForUpdate->stop();
  trmCheckForUpdate->setInterval(24 * 60 * 60 * 1000);
  try {
    // Without its library the check is skipped; the log says why.
    if (frmUpdate_ || makers_.update) {
      MissingRoadLibrary(
          [this] {
            // Most days offer nothing: the window is built only when there is an update.
            if (!frmUpdate_ && !UpdateAvailable()) return;
            if (TfrmUpdate* update = Update()) {
              update->WebUpdate.RequireTransferLibrary();
              update->OfferUpdate();
            }
          },
          lcUpdate(), "The update");
      DropIdleUpdateWindow();
    }
  } catch (...) {
    // The automatic check never troubles the user.
    LogHandlerFailure("The daily update check", CurrentExceptionText());
  }
  trmCheckForUpdate->start();
}

}  // namespace kessmar
