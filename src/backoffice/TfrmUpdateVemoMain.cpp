#include "backoffice/TfrmUpdateVemoMain.h"

#include <QFont>
#include <QLabel>
#include <QShowEvent>

#include "platform/qt/CenterOnScreen.h"

namespace kessmar {
namespace {

// The outer size is 252 x 80; the window manager adds its frame to the client area.
constexpr int kClientWidth = 244;
constexpr int kClientHeight = 53;

}  // namespace

TfrmUpdateVemoMain::TfrmUpdateVemoMain(TunDBFactory makeModule, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      orders_(std::make_unique<OrderCreation>(std::move(makeModule))) {
  setObjectName("frmUpdateVemoMain");
  setWindowTitle("Artikelen overzetten naar Vemo");
  setFixedSize(kClientWidth, kClientHeight);
  QFont designFont("MS Sans Serif");
  designFont.setPointSize(8);
  setFont(designFont);

  Label1 = new QLabel("Status :", this);
  Label1->setObjectName("Label1");
  Label1->move(12, 20);
  Label1->adjustSize();

  Label2 = new QLabel("Zoeken naar Vemo server.......................", this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(54, 20, 179, Label2->sizeHint().height());
}

// The price module, then the data module, go with the order creation.
TfrmUpdateVemoMain::~TfrmUpdateVemoMain() = default;

void TfrmUpdateVemoMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  platform::CenterOnScreen(*this);
}

}  // namespace kessmar
