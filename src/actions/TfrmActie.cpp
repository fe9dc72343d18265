#include "actions/TfrmActie.h"

#include <QCheckBox>
#include <QPushButton>
#include <QShowEvent>

#include "platform/qt/CenterOnScreen.h"

namespace kessmar {
namespace {

constexpr int kClientWidth = 243;
constexpr int kClientHeight = 169;
constexpr int kMargin = 16;
constexpr int kButtonHeight = 41;
constexpr int kControlWidth = kClientWidth - 2 * kMargin;

}  // namespace

TfrmActie::TfrmActie(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName("frmActie");
  setWindowTitle("Actie");
  setFixedSize(kClientWidth, kClientHeight);

  btnWWW = new QPushButton("Bestellen via Kessmar.nl", this);
  btnWWW->setObjectName("btnWWW");
  btnWWW->setGeometry(kMargin, kMargin, kControlWidth, kButtonHeight);

  bntVemo = new QPushButton("Overzetten naar Vemo", this);
  bntVemo->setObjectName("bntVemo");
  bntVemo->setGeometry(kMargin, kMargin + kButtonHeight + 8, kControlWidth, kButtonHeight);
  bntVemo->setVisible(false);  // hidden until FormCreate shows it

  chkDontAskAgain = new QCheckBox("Niet meer vragen", this);
  chkDontAskAgain->setObjectName("chkDontAskAgain");
  chkDontAskAgain->setGeometry(kMargin, kMargin + 2 * kButtonHeight + 24, kControlWidth, 21);

  connect(btnWWW, &QPushButton::clicked, this, [this] { btnWWWClick(); });
  connect(bntVemo, &QPushButton::clicked, this, [this] { bntVemoClick(); });
  FormCreate();
}

bool TfrmActie::DontAskAgain() const {
  return chkDontAskAgain->isChecked();
}

void TfrmActie::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // the window system showing us again, not a new showing
  platform::CenterOnScreen(*this);
  FormShow();
}

void TfrmActie::FormCreate() {
  bntVemo->setVisible(true);
  actionChosen_ = false;
}

void TfrmActie::FormShow() {
  actionChosen_ = false;
  btnWWW->setFocus();
}

void TfrmActie::btnWWWClick() {
  chosenAction_ = 1;
  actionChosen_ = true;
  accept();
}

void TfrmActie::bntVemoClick() {
  chosenAction_ = 2;
  actionChosen_ = true;
  accept();
}

}  // namespace kessmar
