// The tool's main window with the real scanner library, and the emulated scanner on a real
// pseudo-terminal in the test's own ports directory. Serial port discovery sees only that
// folder (an empty sysfs and /dev), and the tool's per-user files stay in the test folder.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "batch/BatchHistory.h"
#include "scanner/ScannerLibrary.h"
#include "support/EmulatedScanner.h"
#include "support/MainWindowFixture.h"
#include "support/ScopedEnvironment.h"

namespace kessmar::testing {

class ToolWithEmulatedScanner : public MainWindowFixture {
 protected:
  Csp2Library library;

  void SetUp() override {
    std::filesystem::create_directories(dir / "ports");
    std::filesystem::create_directories(dir / "sys");
    environment_.Set("KESSMAR_PORTS_DIR", (dir / "ports").string());
    environment_.Set("KESSMAR_SYSFS_ROOT", (dir / "sys").string());  // no real serial devices
    environment_.Set("KESSMAR_DEV_ROOT", (dir / "dev").string());
    environment_.Set("XDG_DATA_HOME", (dir / "share").string());
  }
  // The window goes before the environment is put back.
  void TearDown() override { main.reset(); }

  // Starts an emulated scanner with scanner-emulator's arguments.
  std::unique_ptr<EmulatedScanner> Scanner(const std::vector<std::string>& args) {
    return std::make_unique<EmulatedScanner>(dir / "ports", args);
  }

  TfrmMain& StartTool() { return Start(true, &library); }

  // The dated history copies in the Data folder.
  std::vector<std::filesystem::path> HistoryFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(DataPath())) {
      const auto name = entry.path().filename().string();
      if (name != batch_files::kLastRead && IsBatchFileName(name)) files.push_back(entry.path());
    }
    return files;
  }

 private:
  ScopedEnvironment environment_;
};

}  // namespace kessmar::testing
