#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <functional>

#include "app/DeferredEditComboBox.h"

namespace kessmar::testing {
namespace {

// Until it is shown the list keeps its edit text itself; that text must stay what a list with
// an edit field would hold through every change the scanner link makes while the window is
// hidden.
TEST(DeferredEditComboBoxTest, HiddenEditTextFollowsAnEditFieldAndMovesIntoIt) {
  QWidget window;
  DeferredEditComboBox deferred(&window);
  QComboBox real;
  real.setEditable(true);
  real.setInsertPolicy(QComboBox::NoInsert);

  const std::vector<std::pair<const char*, std::function<void(QComboBox&)>>> steps = {
      {"fill",
       [](QComboBox& c) {
         c.addItems({"COM1", "COM3 (Scanner)"});
       }},
      {"select", [](QComboBox& c) { c.setCurrentIndex(1); }},
      {"clear", [](QComboBox& c) { c.clear(); }},
      {"refill",
       [](QComboBox& c) {
         c.addItems({"COM1", "COM10", "COM2"});
       }},
      {"deselect", [](QComboBox& c) { c.setCurrentIndex(-1); }},
      {"type", [](QComboBox& c) { c.setEditText("COM7"); }},
      {"clear typed", [](QComboBox& c) { c.clear(); }},
      {"refill typed", [](QComboBox& c) { c.addItems({"COM4"}); }},
      {"type over entry", [](QComboBox& c) { c.setEditText("com4"); }},
      {"remove selected", [](QComboBox& c) { c.removeItem(0); }},
  };
  for (const auto& [name, step] : steps) {
    step(real);
    if (std::string(name).rfind("type", 0) == 0) {
      deferred.SetEditText(real.currentText());  // typing goes through the deferred setter
    } else {
      step(deferred);
    }
    EXPECT_EQ(deferred.EditText().toStdString(), real.currentText().toStdString()) << name;
    EXPECT_EQ(deferred.currentIndex(), real.currentIndex()) << name;
    EXPECT_EQ(deferred.lineEdit(), nullptr) << name;
  }

  deferred.addItems({"COM5", "COM6"});
  deferred.setCurrentIndex(-1);
  deferred.SetEditText("COM8");
  window.show();
  ASSERT_NE(deferred.lineEdit(), nullptr);
  EXPECT_TRUE(deferred.lineEdit()->isVisible());
  EXPECT_EQ(deferred.lineEdit()->text().toStdString(), "COM8");
  EXPECT_EQ(deferred.EditText().toStdString(), "COM8");
  deferred.setCurrentIndex(1);
  EXPECT_EQ(deferred.EditText().toStdString(), "COM6");
  deferred.SetEditText("COM9");
  EXPECT_EQ(deferred.lineEdit()->text().toStdString(), "COM9");
}

}  // namespace
}  // namespace kessmar::testing
