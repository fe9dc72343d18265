#include "backoffice/TfrmArtkNotFound.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

#include "platform/qt/CenterOnScreen.h"

namespace kessmar {

TfrmArtkNotFound::TfrmArtkNotFound(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmArtkNotFound");
  setWindowTitle("Niet gevonden artikelen");
  setFixedSize(342, 293);
  QFont designFont("Tahoma");
  designFont.setPointSize(8);
  setFont(designFont);

  memArtkNotFound = new QPlainTextEdit(this);
  memArtkNotFound->setObjectName("memArtkNotFound");
  memArtkNotFound->setGeometry(8, 8, 325, 241);
  // The user may select the list and copy it (to pass the codes on), never change it.
  memArtkNotFound->setReadOnly(true);
  memArtkNotFound->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
  memArtkNotFound->setLineWrapMode(QPlainTextEdit::NoWrap);

  Button1 = new QPushButton("Sluiten", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(258, 260, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TfrmArtkNotFound::AddLine(const std::string& line) {
  memArtkNotFound->appendPlainText(QString::fromStdString(line));
}

int TfrmArtkNotFound::LineCount() const {
  if (memArtkNotFound->document()->isEmpty()) return 0;
  return memArtkNotFound->document()->blockCount();
}

void TfrmArtkNotFound::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  platform::CenterOnScreen(*this);
}

void TfrmArtkNotFound::Button1Click() {
  accept();
}

}  // namespace kessmar
