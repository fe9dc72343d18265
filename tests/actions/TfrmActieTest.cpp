// The action dialog driven as a user would: clicks on its buttons and its close box.
#include "actions/TfrmActie.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace kessmar {
namespace {

// Runs the dialog modally; once it is on screen, notes the focus and the dialog's state, then
// lets the user act.
struct Showing {
  QWidget* focusAtShow = nullptr;
  bool actionChosenAtShow = true;
  int result = -1;
};

Showing Show(TfrmActie& dialog, const std::function<void()>& user) {
  Showing showing;
  QTimer::singleShot(0, &dialog, [&] {
    showing.focusAtShow = dialog.focusWidget();
    showing.actionChosenAtShow = dialog.ActionChosen();
    user();
  });
  showing.result = dialog.exec();
  return showing;
}

TEST(TfrmActie, EveryShowingStartsAfreshButKeepsTheTick) {
  TfrmActie dialog;
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(dialog.bntVemo->isHidden());
  EXPECT_FALSE(dialog.DontAskAgain());

  Showing web = Show(dialog, [&] { QTest::mouseClick(dialog.btnWWW, Qt::LeftButton); });
  EXPECT_EQ(web.result, QDialog::Accepted);
  EXPECT_EQ(web.focusAtShow, dialog.btnWWW);
  EXPECT_FALSE(web.actionChosenAtShow);
  EXPECT_TRUE(dialog.ActionChosen());
  EXPECT_EQ(dialog.ChosenAction(), 1);
  EXPECT_FALSE(dialog.DontAskAgain());

  Showing vemo = Show(dialog, [&] {
    QTest::mouseClick(dialog.chkDontAskAgain, Qt::LeftButton);  // takes the focus with it
    QTest::mouseClick(dialog.bntVemo, Qt::LeftButton);
  });
  EXPECT_EQ(vemo.result, QDialog::Accepted);
  EXPECT_FALSE(vemo.actionChosenAtShow);
  EXPECT_EQ(dialog.ChosenAction(), 2);
  EXPECT_TRUE(dialog.DontAskAgain());

  // The close box after a showing in which a button was pressed: nothing is chosen.
  Showing closed = Show(dialog, [&] { dialog.close(); });
  EXPECT_EQ(closed.result, QDialog::Rejected);
  EXPECT_EQ(closed.focusAtShow, dialog.btnWWW);
  EXPECT_FALSE(closed.actionChosenAtShow);
  EXPECT_FALSE(dialog.ActionChosen());
  EXPECT_TRUE(dialog.DontAskAgain());
}

}  // namespace
}  // namespace kessmar
