// The application object: the single-instance guard, the main window (the other four windows
// are made when first needed), and the event loop.
#pragma once

#include <QApplication>
#include <QWidget>
#include <memory>

#include "app/LimitMe.h"
#include "platform/ShellOpen.h"
#include "platform/UserMessages.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

namespace platform {
class DiagnosticsLog;
class SessionEndWatcher;
}  // namespace platform
class TfrmAbout;
class TfrmActie;
class TfrmHistory;
class TfrmMain;

class KessmarApplication {
 public:
  KessmarApplication();
  ~KessmarApplication();

  // Runs the program: ends at once with 0 when another copy runs for this user; otherwise
  // creates the windows and runs the event loop until the program is ended. Returns the exit
  // code.
  int Run(int& argc, char** argv);

 private:
  TLimitMe guard_;
  std::unique_ptr<QApplication> app_;
  std::unique_ptr<platform::DiagnosticsLog> log_;
  std::unique_ptr<ScannerLibrary> scanner_;
  std::unique_ptr<UserMessages> messages_;
  std::unique_ptr<ShellOpen> shell_;
  // The windows; the main window goes after the others, which it may still refer to.
  std::unique_ptr<QWidget> frmUpdate_;  // the update window, when there is one
  std::unique_ptr<TfrmMain> frmMain_;
  std::unique_ptr<TfrmActie> frmActie_;
  std::unique_ptr<TfrmHistory> frmHistory_;
  std::unique_ptr<TfrmAbout> frmAbout_;
  std::unique_ptr<platform::SessionEndWatcher> sessionEnd_;
};

// Application-wide settings of the Qt application object, shared with tests that build the
// windows themselves: the name, no display name (Qt would add it to every window title), and no
// quitting when the last window closes (the program lives in the notification area).
void ConfigureApplication();

}  // namespace kessmar
