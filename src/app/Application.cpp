#include "app/Application.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "about/TfrmAbout.h"
#include "actions/TfrmActie.h"
#include "app/MainWindowTexts.h"
#include "app/TfrmMain.h"
#include "batch/TfrmHistory.h"
#include "platform/AppPaths.h"
#include "platform/SessionEnd.h"
#include "platform/qt/QtShellOpen.h"
#include "platform/qt/QtUserMessages.h"
#include "update/TfrmUpdate.h"

namespace kessmar {

namespace {

// For the start-up benchmark: KESSMAR_REPORT_STARTUP=1 prints the monotonic clock once the event
// loop runs and ends the program.
void ReportStartupWhenAsked() {
  const char* report = std::getenv("KESSMAR_REPORT_STARTUP");
  if (report == nullptr || *report != '1') return;
  QTimer::singleShot(0, [] {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("event-loop-running %lld\n",
                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
    QCoreApplication::exit(0);
  });
}

}  // namespace

KessmarApplication::KessmarApplication() : guard_(platform::CreateSingleInstanceMarker(), [] {}) {}

KessmarApplication::~KessmarApplication() = default;

int KessmarApplication::Run(int& argc, char** argv) {
  guard_.Bija = "OpticonScanApp";
  guard_.Terminate = true;
  if (guard_.DoIExist()) return 0;  // another copy runs: end silently

  app_ = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationName(texts::kApplicationTitle);
  QApplication::setApplicationDisplayName(texts::kApplicationTitle);
  QApplication::setQuitOnLastWindowClosed(false);

  scanner_ = std::make_unique<Csp2Library>();
  messages_ = std::make_unique<QtUserMessages>();
  shell_ = std::make_unique<QtShellOpen>();

  MainWindowServices services{.scanner = *scanner_,
                              .messages = *messages_,
                              .shell = *shell_,
                              .executable = platform::ExecutablePath(),
                              .trayAvailable = QSystemTrayIcon::isSystemTrayAvailable(),
                              .clock = [] { return std::chrono::system_clock::now(); },
                              .enumeratePorts = {}};

  frmUpdate_ = std::make_unique<TfrmUpdate>(*messages_, *shell_);
  frmMain_ = std::make_unique<TfrmMain>(std::move(services));
  frmActie_ = std::make_unique<TfrmActie>();
  frmHistory_ = std::make_unique<TfrmHistory>(frmMain_->tblScannerData, *messages_);
  frmAbout_ = std::make_unique<TfrmAbout>(nullptr);
  frmMain_->AttachDialogs(frmActie_.get(), frmHistory_.get(), frmAbout_.get());
  frmMain_->AttachUpdateWindow(frmUpdate_.get());
  frmUpdate_->EndProgram = [this] { frmMain_->EndSession(); };

  sessionEnd_ = std::make_unique<platform::SessionEndWatcher>();
  QObject::connect(sessionEnd_.get(), &platform::SessionEndWatcher::sessionEnding, frmMain_.get(),
                   [this] { frmMain_->EndSession(); });

  ReportStartupWhenAsked();
  const int code = QApplication::exec();

  sessionEnd_.reset();
  frmAbout_.reset();
  frmHistory_.reset();
  frmActie_.reset();
  frmMain_.reset();
  frmUpdate_.reset();
  return code;
}

}  // namespace kessmar
