#include "platform/qt/QtUserMessages.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

namespace kessmar {

void QtUserMessages::ShowError(const std::string& utf8Text) {
  QMessageBox::critical(parent_, QGuiApplication::applicationDisplayName(),
                        QString::fromStdString(utf8Text), QMessageBox::Ok);
}

void QtUserMessages::ShowInfo(const std::string& utf8Text) {
  QMessageBox::information(parent_, QGuiApplication::applicationDisplayName(),
                           QString::fromStdString(utf8Text), QMessageBox::Ok);
}

bool QtUserMessages::Confirm(const std::string& utf8Text) {
  return QMessageBox::question(parent_, QGuiApplication::applicationDisplayName(),
                               QString::fromStdString(utf8Text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kessmar
