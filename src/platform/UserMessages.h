// Modal messages to the user, behind an interface so that tests can see and answer them.
#pragma once

#include <string>

namespace kessmar {

class UserMessages {
 public:
  virtual ~UserMessages() = default;

  // Both show utf8Text in a modal message box with an OK button, titled with the application's
  // title, and return when the user has closed it. Never throw.
  virtual void ShowError(const std::string& utf8Text) = 0;
  virtual void ShowInfo(const std::string& utf8Text) = 0;

  // Asks utf8Text in a modal confirmation box (question icon, Yes and No buttons) titled with
  // the application's title; true only when the user answered Yes. Implementations that cannot
  // ask answer No. Never throws.
  virtual bool Confirm(const std::string& utf8Text) {
    (void)utf8Text;
    return false;
  }
};

}  // namespace kessmar
