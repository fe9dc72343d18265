#include "app/DeferredEditComboBox.h"

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
  setEditable(true);
  setEditText(pendingText_);
  pendingText_.clear();
}

void DeferredEditComboBox::showEvent(QShowEvent* event) {
  MakeEditField();
  QComboBox::showEvent(event);
}

}  // namespace kessmar
