// The message boxes behind UserMessages: modal, titled with the application's name, one OK.
#include "platform/qt/QtUserMessages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace kessmar {
namespace {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  bool modal = false;
};

// Notes the message box on screen and presses its OK button.
void AnswerNextBox(SeenBox& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = static_cast<int>(box->buttons().size());
    seen.modal = box->isModal();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
  });
}

TEST(QtUserMessages, ShowsModalBoxesWithOneOkButton) {
  QString oldName = QApplication::applicationDisplayName();
  QApplication::setApplicationDisplayName("Kessmar Scanner Tool");
  QtUserMessages messages;

  SeenBox error;
  AnswerNextBox(error);
  messages.ShowError("Kan \xC3\xA9\xC3\xA9n bestand niet lezen");
  EXPECT_EQ(error.title, "Kessmar Scanner Tool");
  EXPECT_EQ(error.text, QString::fromUtf8("Kan \xC3\xA9\xC3\xA9n bestand niet lezen"));
  EXPECT_EQ(error.icon, QMessageBox::Critical);
  EXPECT_EQ(error.buttons, 1);
  EXPECT_TRUE(error.modal);

  SeenBox info;
  AnswerNextBox(info);
  messages.ShowInfo("Klaar");
  EXPECT_EQ(info.text, "Klaar");
  EXPECT_EQ(info.icon, QMessageBox::Information);
  EXPECT_EQ(info.buttons, 1);

  QApplication::setApplicationDisplayName(oldName);
}

}  // namespace
}  // namespace kessmar
