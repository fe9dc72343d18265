#include "update/TfrmUpdate.h"

namespace kessmar {

TfrmUpdate::TfrmUpdate(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName("frmUpdate");
  setWindowTitle("Kessmar Scanner Tool updater");
  setFixedSize(475, 277);
}

}  // namespace kessmar
