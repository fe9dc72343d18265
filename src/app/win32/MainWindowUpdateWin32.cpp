// The update check of the main window in the Windows build, which has no update road yet: the
// Help item says so, the daily check does nothing.
#include <QAction>
#include <QTimer>

#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"

namespace kessmar {

// There is no update window in this build to attach.
void TfrmMain::AttachUpdateWindow(TfrmUpdate*) {}

TfrmUpdate* TfrmMain::Update() {
  return nullptr;
}

void TfrmMain::Checkvooreenupdate1Click() {
  services_.messages.ShowInfo(texts::kUpdateNotInWindows);
}

void TfrmMain::trmCheckForUpdateTimer() {
  trmCheckForUpdate->stop();
  qCInfo(lcUpdate) << "The update check is not in the Windows build";
}

}  // namespace kessmar
