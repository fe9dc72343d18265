#include "app/DeferredEditComboBox.h"

#include <QApplication>
#include <QLineEdit>

namespace kessmar {

DeferredEditComboBox::DeferredEditComboBox(QWidget* parent) : QComboBox(parent) {
  setInsertPolicy(QComboBox::NoInsert);
  // An edit field takes the selected entry's text whenever the selection changes, also when
  // clearing or filling the list moves it.
  connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (lineEdit() == nullptr) pendingText_ = itemText(index);
  });
}

QString DeferredEditComboBox::EditText() const {
  return lineEdit() != nullptr ? currentText() : pendingText_;
}

void DeferredEditComboBox::SetEditText(const QString& text) {
  if (lineEdit() != nullptr) {
    setEditText(text);
  } else {
    pendingText_ = text;
  }
}

void DeferredEditComboBox::MakeEditField() {
  if (lineEdit() != nullptr) return;
  // As setEditable(true) does, but without making the drop-down's view, which setEditable
  // makes at once under styles whose plain lists pop up; the list makes it when it opens.
  // A new line edit first lays out its empty text in the application's font, only then in the
  // list's own; with the list's font as the application's for that moment no second font is
  // loaded.
  const QFont appFont = QApplication::font();
  QApplication::setFont(font());
  auto* edit = new QLineEdit(this);  // owned by the list
  QApplication::setFont(appFont);
  edit->setPalette(palette());
  setLineEdit(edit);
  setEditText(pendingText_);
  pendingText_.clear();
}

void DeferredEditComboBox::showEvent(QShowEvent* event) {
  MakeEditField();
  QComboBox::showEvent(event);
}

}  // namespace kessmar
