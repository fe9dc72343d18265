#include "app/Application.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "about/TfrmAbout.h"
#include "actions/TfrmActie.h"
#include "app/DeferredIconStyle.h"
#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "app/UpdateWindowMaker.h"
#include "batch/TfrmHistory.h"
#include "platform/AppPaths.h"
#include "platform/EnvironmentOverrides.h"
#include "platform/Memory.h"
#include "platform/SessionEnd.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/QtShellOpen.h"
#include "platform/qt/QtUserMessages.h"

namespace kessmar {

namespace {

// For the start-up benchmark: KESSMAR_REPORT_STARTUP=1 prints the monotonic clock once the event
// loop runs and ends the program.
void ReportStartupWhenAsked() {
  if (!platform::EnvironmentFlag(platform::env::kReportStartup)) return;
  QTimer::singleShot(0, [] {
    // The steady clock counts from the same origin as the benchmark's monotonic clock.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("event-loop-running %lld\n",
                static_cast<long long>(std::chrono::nanoseconds(now).count()));
    std::fflush(stdout);
    QCoreApplication::exit(0);
  });
}

// The autostart entry marks a start at login, when the desktop's panel may not be up yet.
bool StartedAtLogin() {
  return platform::EnvironmentFlag(platform::env::kAutostart);
}

constexpr std::chrono::milliseconds kLoginTrayWait{30000};

}  // namespace

KessmarApplication::KessmarApplication() : guard_(platform::CreateSingleInstanceMarker(), [] {}) {}

KessmarApplication::~KessmarApplication() = default;

int KessmarApplication::Run(int& argc, char** argv) {
  guard_.Bija = "OpticonScanApp";
  guard_.Terminate = true;
  if (guard_.DoIExist()) return 0;  // another copy runs: end silently

  app_ = std::make_unique<QApplication>(argc, argv);
  ConfigureApplication();
  const std::filesystem::path executable = platform::ExecutablePath();
  log_ = std::make_unique<platform::DiagnosticsLog>(platform::LogFilePath(executable));
  qCInfo(lcApp) << "Started";

  try {
    scanner_ = std::make_unique<Csp2Library>();
  } catch (const std::exception& e) {
    qCWarning(lcScanner).noquote() << "The scanner library cannot be loaded, so no scanner can be"
                                   << "read:" << e.what();
    scanner_ = std::make_unique<MissingScannerLibrary>();
  }
  messages_ = std::make_unique<QtUserMessages>();
  shell_ = std::make_unique<QtShellOpen>();

  MainWindowServices services(*scanner_, *messages_, *shell_, executable);
  services.trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
  if (StartedAtLogin()) services.waitForTray = kLoginTrayWait;

  frmMain_ = std::make_unique<TfrmMain>(std::move(services));
  // The other windows are made when first needed: most sessions open none of them.
  TfrmMain::WindowMakers makers;
  makers.update =
      UpdateWindowMaker(frmUpdate_, *messages_, *shell_, [this] { frmMain_->EndSession(); });
  makers.dropUpdate = [this] { frmUpdate_.reset(); };
  makers.actie = [this] {
    frmActie_ = std::make_unique<TfrmActie>();
    return frmActie_.get();
  };
  makers.history = [this] {
    frmHistory_ = std::make_unique<TfrmHistory>(frmMain_->tblScannerData, *messages_);
    return frmHistory_.get();
  };
  makers.about = [this] {
    frmAbout_ = std::make_unique<TfrmAbout>(nullptr);
    return frmAbout_.get();
  };
  frmMain_->AttachWindowMakers(std::move(makers));

  sessionEnd_ = std::make_unique<platform::SessionEndWatcher>();
  QObject::connect(sessionEnd_.get(), &platform::SessionEndWatcher::sessionEnding, frmMain_.get(),
                   [this] { frmMain_->EndSession(); });

  ReportStartupWhenAsked();
  // What building the windows freed goes back to the system once the loop runs: the tool then
  // sits in the tray with only what it holds.
  QTimer::singleShot(0, [] { platform::ReleaseFreeMemory(); });
  const int code = QApplication::exec();

  sessionEnd_.reset();
  frmAbout_.reset();
  frmHistory_.reset();
  frmActie_.reset();
  frmMain_.reset();
  frmUpdate_.reset();
  qCInfo(lcApp) << "Ended";
  return code;
}

void ConfigureApplication() {
  QApplication::setApplicationName(texts::kApplicationTitle);
  // Before any window: every menu bar asks the style for its icons when it is made.
  QApplication::setStyle(new DeferredIconStyle);  // owned by the application
  // No display name: Qt would append it to every window title on X11.
  QApplication::setQuitOnLastWindowClosed(false);
}

}  // namespace kessmar
