// UserMessages that records every message instead of showing a box.
#pragma once

#include <string>
#include <vector>

#include "platform/ShellOpen.h"
#include "platform/UserMessages.h"

namespace kessmar::testing {

class RecordingMessages : public UserMessages {
 public:
  std::vector<std::string> shown;
  void ShowError(const std::string& text) override { shown.push_back(text); }
  void ShowInfo(const std::string& text) override { shown.push_back(text); }
  // Questions asked, answered with confirmAnswer.
  std::vector<std::string> asked;
  bool confirmAnswer = false;
  bool Confirm(const std::string& text) override {
    asked.push_back(text);
    return confirmAnswer;
  }
};

class RecordingShell : public ShellOpen {
 public:
  std::vector<std::filesystem::path> opened;
  bool opens = true;  // false: as on a desktop without a browser
  bool Open(const std::filesystem::path& path) override {
    opened.push_back(path);
    return opens;
  }
};

}  // namespace kessmar::testing
