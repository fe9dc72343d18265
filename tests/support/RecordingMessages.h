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
