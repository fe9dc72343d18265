// "Stuur naar Vemo" in the Windows build, which has no back-office link yet: the run says so
// and the batch stays on the scanner.
#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "platform/qt/Diagnostics.h"

namespace kessmar {

bool TfrmMain::TransferBatchToVemo() {
  qCWarning(lcBackOffice) << "The back office is not in the Windows build";
  TellFailedRun(texts::kVemoNotInWindows);
  return false;
}

}  // namespace kessmar
