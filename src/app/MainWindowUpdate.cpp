// The update check of the main window: the daily check and Help > "Nieuwe versie bechikbaar ?".
#include <QAction>
#include <QTimer>

#include "app/MainWindowTexts.h"
#include "app/RoadLibraries.h"
#include "app/TfrmMain.h"
#include "common/ErrorText.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"
#include "update/TfrmUpdate.h"

namespace kessmar {

void TfrmMain::AttachUpdateWindow(TfrmUpdate* update) {
  frmUpdate_ = update;
}

TfrmUpdate* TfrmMain::Update() {
  if (!frmUpdate_ && makers_.update) {
    const auto maker = std::move(makers_.update);
    makers_.update = nullptr;
    frmUpdate_ = maker();
  }
  return frmUpdate_.data();
}

void TfrmMain::Checkvooreenupdate1Click() {
  // Errors of an offer the user asked for are shown, as the program shows any error.
  try {
    TfrmUpdate* update = Update();
    if (update == nullptr) return;
    // The library is loaded here, or by the fetch helper during the check, which then says so.
    const std::string missing = MissingRoadLibrary(
        [update] {
          update->WebUpdate.RequireTransferLibrary();
          update->OfferUpdateAsked();
        },
        lcUpdate(), "The update");
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
    if (TfrmUpdate* update = Update()) {
      MissingRoadLibrary(
          [update] {
            update->WebUpdate.RequireTransferLibrary();
            update->OfferUpdate();
          },
          lcUpdate(), "The update");
    }
  } catch (...) {
    // The automatic check never troubles the user.
    LogHandlerFailure("The daily update check", CurrentExceptionText());
  }
  trmCheckForUpdate->start();
}

}  // namespace kessmar
