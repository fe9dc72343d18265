// UserMessages as QMessageBox dialogs titled with the application's display name.
#pragma once

#include "platform/UserMessages.h"

class QWidget;

namespace kessmar {

class QtUserMessages : public UserMessages {
 public:
  // parent (may be null, not owned) is the window the boxes are modal to; without one they are
  // modal to the whole application.
  explicit QtUserMessages(QWidget* parent = nullptr) : parent_(parent) {}

  void ShowError(const std::string& utf8Text) override;
  void ShowInfo(const std::string& utf8Text) override;
  bool Confirm(const std::string& utf8Text) override;

 private:
  QWidget* parent_;
};

}  // namespace kessmar
