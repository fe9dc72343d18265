// TfrmMain: the tool's one working window. It owns the scanner link, the scan tables, settings
// values and paths, the tray icon and the two timers that drive the program; its handlers
// translate between the controls and the link. Normally hidden: the program lives in the
// notification area.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "batch/BatchHistory.h"
#include "batch/MemTable.h"
#include "scanner/FailedBatchRetry.h"
#include "scanner/ScannerLink.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace kessmar {

class ArtworkPanel;
class DeferredEditComboBox;
class MainWindowLinkView;
class ScannerLibrary;
class ShellOpen;
class TfrmAbout;
class TfrmActie;
class TfrmHistory;
class TfrmUpdate;
class UserMessages;

// What the window needs from outside; the references must outlive the window.
struct MainWindowServices {
  // The four every window needs; the rest have defaults for the real program.
  MainWindowServices(ScannerLibrary& scanner, UserMessages& messages, ShellOpen& shell,
                     std::filesystem::path executable)
      : scanner(scanner), messages(messages), shell(shell), executable(std::move(executable)) {}

  ScannerLibrary& scanner;
  UserMessages& messages;
  ShellOpen& shell;
  std::filesystem::path executable;  // decides the settings file and the Data folder
  // Whether a notification area exists at start. Without one the window shows at start (after
  // waitForTray, when a tray is expected to come up shortly, as at login) and its close box
  // minimises it; trayProbe is asked every few seconds, and once it sees a tray the tool
  // switches to the notification area.
  bool trayAvailable = true;
  std::function<bool()> trayProbe;  // default: QSystemTrayIcon::isSystemTrayAvailable
  std::chrono::milliseconds waitForTray{0};
  WallClock clock = [] { return std::chrono::system_clock::now(); };
  // The monotonic clock of the pauses after a failed processing run.
  FailedBatchRetry::Now monotonicClock = [] { return std::chrono::steady_clock::now(); };
  // Port enumeration; the default lists the real serial ports and the ports directory.
  std::function<std::optional<std::vector<std::string>>(bool)> enumeratePorts;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // FormCreate: builds the controls, reads the settings, creates the Data folder, fills the port
  // list and starts the timers. The window starts hidden (shown when no tray is available).
  explicit TfrmMain(MainWindowServices services, QWidget* parent = nullptr);
  // FormDestroy: closes the scan table and gives the port back when linked.
  ~TfrmMain() override;

  // The dialogs created after this window at start-up.
  void AttachDialogs(TfrmActie* actie, TfrmHistory* history, TfrmAbout* about);
  // The update window, created before this one; the update check and the Help item offer
  // through it.
  void AttachUpdateWindow(TfrmUpdate* update);
  // Instead of windows made at start-up: makers that make each window when it is first needed,
  // so that a tool that sits in the tray all day never pays for the windows it does not open.
  // Each maker returns the window it made (owned by the caller).
  struct WindowMakers {
    std::function<TfrmActie*()> actie;
    std::function<TfrmHistory*()> history;
    std::function<TfrmAbout*()> about;
    std::function<TfrmUpdate*()> update;
    // Destroys the update window `update` made: after a check that offered nothing the tool
    // does not keep it for a day. Unset: the window stays.
    std::function<void()> dropUpdate;
  };
  void AttachWindowMakers(WindowMakers makers);

  // Members shared with the rest of the program.
  std::string SettingsFile;
  std::string DataFolder;  // ends with the path separator
  bool Closing = false;
  bool ConnectAtStart = false;
  std::string VemoServer;
  std::string VemoServerAtStart;

  MemTable tblScannerData;
  MemTable tblDataToProcess;

  // Controls, under the names the window has always given them.
  ArtworkPanel* Image1 = nullptr;
  QLabel* lblStatus = nullptr;
  QCheckBox* chkAuto = nullptr;
  DeferredEditComboBox* cmbCOMPORTS = nullptr;
  QPushButton* btnConnect = nullptr;
  QLabel* lblScannerId = nullptr;
  DeferredEditComboBox* cmbActie = nullptr;
  QCheckBox* chkSamenvoegen = nullptr;
  QPushButton* btnHistory = nullptr;
  QPushButton* btnRedo = nullptr;
  QAction* Sluiten1 = nullptr;
  QAction* Checkvooreenupdate1 = nullptr;
  QAction* Info1 = nullptr;
  QMenu* mnuPopUp = nullptr;
  QAction* Sluiten2 = nullptr;
  QSystemTrayIcon* RxTrayIcon1 = nullptr;
  QTimer* tmrCheckScanner = nullptr;
  QTimer* trmCheckForUpdate = nullptr;

  // The scanner link: connection state, port list, COM port, pauses after a failed run.
  ScannerLink& Link() { return link_; }
  const ScannerLink& Link() const { return link_; }

  // Port discovery: refreshes the link's PortList; rebuilds the combo when the number of ports
  // changed.
  void RefreshPortList();

  // Connection and polling.
  void chkAutoClick();
  void cmbCOMPORTSSelect();
  void btnConnectClick(bool byUser = false);
  void tmrCheckScannerTimer();
  void CheckScannerLost();

  // Reading a batch from the scanner, and processing a batch.
  void ReadBatchFromScanner();
  bool ProcessBatch();
  void BuildBatchToProcess();
  bool SendBatchToWebsite();
  bool TransferBatchToVemo();

  // Other handlers.
  void chkSamenvoegenClick();
  void cmbActieSelect();
  void btnHistoryClick();
  void btnRedoClick();
  void Sluiten1Click();
  void Sluiten2Click();
  void Info1Click();
  void Checkvooreenupdate1Click();
  void trmCheckForUpdateTimer();
  void RxTrayIcon1DblClick();

  // Ends the program the way a logoff or shutdown does: sets Closing and ends the event loop.
  void EndSession();

  // Finishes the window before it first shows: what only a shown window needs is made then.
  void setVisible(bool visible) override;

  // True while the program lives in the notification area (no taskbar button).
  bool TrayAvailable() const { return trayMode_; }

  // Tells the user why a processing run could not hand the batch on: once per batch for the
  // runs that follow a read (the same scans are retried later), at every run the user started.
  void TellFailedRun(const std::string& reason);

  // The pauses before unchanged scans are processed again after a failed run.
  const FailedBatchRetry& Retry() const { return link_.Retry(); }

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  void changeEvent(QEvent* event) override;      // minimise hides the application

 private:
  void CreateControls();
  void CreateMenus();
  void CreateTray();
  // Makes the lists' edit fields, sets the height from the menu bar's and centres the window.
  void FinishForShow();
  // Checks for a notification area that came up after start-up and moves the tool into it.
  void WatchForTray();
  void EnterTrayMode();
  void ReadSettings();
  // ProcessBatch, run after a read (byUser false) or by "Opnieuw verwerken" (byUser true).
  bool RunProcessing(bool byUser);
  // The body of ProcessBatch: asks for the action when needed, builds and hands on the batch.
  bool ChooseAndRunAction();
  // The status label: "Verbonden" in green or "Niet verbonden" in red.
  void ShowLinkState(bool up);
  // Runs write; a failure to write the settings file is logged, the value stays in memory.
  void WriteSetting(const std::function<void()>& write);
  // Logs why a handler gave up, once for each handler until the reason changes: a failure
  // that repeats on every tick fills no log.
  void LogHandlerFailure(const std::string& handler, const std::string& reason);

  friend class MainWindowLinkView;

  MainWindowServices services_;
  Settings settings_;
  bool trayMode_ = false;
  bool finishedForShow_ = false;
  QTimer* trayWatch_ = nullptr;
  // While waiting for a panel at login: when the window shows if no tray came up.
  std::optional<std::chrono::steady_clock::time_point> showWithoutTrayAt_;
  bool runByUser_ = false;
  // The last failure logged for each handler.
  std::map<std::string, std::string> handlerFailures_;
  QPointer<TfrmActie> frmActie_;
  QPointer<TfrmHistory> frmHistory_;
  QPointer<TfrmAbout> frmAbout_;
  QPointer<TfrmUpdate> frmUpdate_;
  WindowMakers makers_;
  // The window, made now when it was not made yet; nullptr when there is none.
  TfrmActie* Actie();
  TfrmHistory* History();
  TfrmAbout* About();
  TfrmUpdate* Update();
  // The daily check without the update window: true when the window has an update to offer.
  // Throws platform::LibraryUnavailable.
  bool UpdateAvailable();
  void DropIdleUpdateWindow();
  std::unique_ptr<MainWindowLinkView> linkView_;
  ScannerLink link_;
};

}  // namespace kessmar
