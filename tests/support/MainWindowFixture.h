// A main window on the offscreen platform in a fresh folder, with a scripted scanner, recorded
// messages and a recorded shell.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "actions/TfrmActie.h"
#include "app/DeferredEditComboBox.h"
#include "app/Settings.h"
#include "app/TfrmMain.h"
#include "batch/TfrmHistory.h"
#include "support/RecordingMessages.h"
#include "support/ScriptedScanner.h"
#include "support/TempDir.h"

namespace kessmar::testing {

class MainWindowFixture : public ::testing::Test {
 protected:
  TempDir dir;
  ScriptedScanner scanner;
  RecordingMessages messages;
  RecordingShell shell;
  std::vector<std::string> ports;
  std::chrono::system_clock::time_point now =
      std::chrono::system_clock::from_time_t(1796729400);  // 2026-12-08, a fixed moment
  std::chrono::steady_clock::time_point monotonic = std::chrono::steady_clock::now();
  bool trayShows = false;      // what the tray probe answers once the window exists
  bool realTrayProbe = false;  // ask the display's real notification area instead
  std::chrono::milliseconds waitForTray{0};
  std::unique_ptr<TfrmMain> main;
  std::unique_ptr<TfrmActie> actie;
  std::unique_ptr<TfrmHistory> history;

  std::filesystem::path Executable() const { return dir / "kessmar-scanner-tool"; }
  std::filesystem::path IniPath() const { return dir / "kessmar-scanner-tool.ini"; }
  std::filesystem::path DataPath() const { return dir / "Data"; }
  Settings Ini() const { return Settings(IniPath()); }

  // Creates the main window and the dialogs it uses. library: the scanner library to use
  // instead of the scripted one; the real serial ports are then listed too. realShell: the
  // shell-open to use instead of the recording one.
  TfrmMain& Start(bool trayAvailable = true, ScannerLibrary* library = nullptr,
                  ShellOpen* realShell = nullptr) {
    MainWindowServices services(library != nullptr ? *library : scanner, messages,
                                realShell != nullptr ? *realShell : shell, Executable());
    services.trayAvailable = trayAvailable;
    services.trayProbe = [this] {
      return realTrayProbe ? QSystemTrayIcon::isSystemTrayAvailable() : trayShows;
    };
    services.waitForTray = waitForTray;
    services.clock = [this] { return now; };
    services.monotonicClock = [this] { return monotonic; };
    services.enumeratePorts = [this](bool) -> std::optional<std::vector<std::string>> {
      if (ports.empty()) return std::nullopt;
      return ports;
    };
    if (library != nullptr) services.enumeratePorts = {};
    main = std::make_unique<TfrmMain>(std::move(services));
    actie = std::make_unique<TfrmActie>();
    history = std::make_unique<TfrmHistory>(main->tblScannerData, messages);
    main->AttachDialogs(actie.get(), history.get(), nullptr);
    return *main;
  }

  // One poll tick, as the timer would run it.
  void Tick() {
    if (!main->tmrCheckScanner->isActive()) main->tmrCheckScanner->start();
    main->tmrCheckScannerTimer();
  }

  // Runs action while the next modal dialog is open: action is queued and runs inside the
  // dialog's own event loop.
  void WhenDialogOpens(std::function<void()> action) {
    QTimer::singleShot(0, [action = std::move(action)] { QTimer::singleShot(0, action); });
  }

  std::string Status() const { return main->lblStatus->text().toStdString(); }
  std::string ScannerId() const { return main->lblScannerId->text().toStdString(); }
};

}  // namespace kessmar::testing
