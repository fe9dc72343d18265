// Creation, destruction, tray icon and closing of the main window.
#include "app/TfrmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "about/TfrmAbout.h"
#include "actions/TfrmActie.h"
#include "app/Artwork.h"
#include "app/DeferredEditComboBox.h"
#include "app/MainWindowLinkView.h"
#include "app/MainWindowTexts.h"
#include "batch/TfrmHistory.h"
#include "common/ErrorText.h"
#include "platform/AppPaths.h"
#include "platform/EnvironmentOverrides.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"
#include "platform/serial/SerialPorts.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

namespace {
constexpr int kOuterWidth = 265;
constexpr int kClientHeight = 251;
constexpr int kLayoutWidth = 631;  // the window's laid-out width; only the left column shows
}  // namespace

TfrmMain::TfrmMain(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      settings_(platform::SettingsFilePath(services_.executable)),
      trayMode_(services_.trayAvailable),
      linkView_(std::make_unique<MainWindowLinkView>(*this)),
      link_(
          services_.scanner, *linkView_, tblScannerData,
          [this](bool onlyOpenable) { return services_.enumeratePorts(onlyOpenable); },
          services_.clock, services_.monotonicClock) {
  if (!services_.enumeratePorts) {
    services_.enumeratePorts = [](bool onlyOpenable) {
      return platform::EnumerateSerialPorts(onlyOpenable);
    };
  }
  if (!services_.trayProbe) {
    services_.trayProbe = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  }
  setObjectName("frmMain");
  setWindowTitle(texts::kMainCaption);
  setWindowIcon(ProgramIcon());  // the tray icon shares it
  // Close box with the system menu only; kept off the taskbar while the tray can reach it.
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (trayMode_) flags |= Qt::Tool;
  setWindowFlags(flags);
  // Tahoma 8 pt as the window was laid out, at 96 dots per inch: 11 pixels.
  QFont font;
  font.setFamilies({"Tahoma", "DejaVu Sans Condensed"});  // a narrow face where Tahoma is absent
  font.setPixelSize(11);
  setFont(font);

  CreateControls();
  CreateMenus();
  CreateTray();

  // FormCreate, in the window's order. The height follows the menu bar's, which is known once
  // its font is loaded: at the first show (FinishForShow).
  setFixedWidth(kOuterWidth);
  cmbActie->clear();
  cmbActie->addItems({texts::kActionAsk, texts::kActionWebsite, texts::kActionVemo});
  SettingsFile = settings_.Path().string();
  ReadSettings();
  chkAutoClick();
  Closing = false;
  link_.ConnectedPort = -1;
  link_.Connected = false;
  DataFolder = platform::DataFolderPath(services_.executable);
  std::error_code ignored;
  std::filesystem::create_directories(DataFolder, ignored);
  try {
    RefreshPortList();
  } catch (...) {
    LogHandlerFailure("Listing the ports", CurrentExceptionText());
  }
  // The start-up benchmark measures the memory before the first check, so it may come later.
  if (const auto delay = platform::EnvironmentOverride(platform::env::kFirstUpdateCheckMs)) {
    trmCheckForUpdate->setInterval(std::max(0, std::atoi(delay->c_str())));
  }
  trmCheckForUpdate->start();
  Checkvooreenupdate1->setVisible(true);
  // Polling starts once the window is complete: a tick that ran inside creation (the automatic
  // mode lets pending messages through) would read the scanner before the Data folder is known.
  tmrCheckScanner->start();

  // Without a tray the window is the only way in, so it shows from the start; at login it
  // first gives the desktop's panel a moment to come up.
  if (!trayMode_) {
    const bool waiting = services_.waitForTray.count() > 0;
    trayWatch_ = new QTimer(this);
    trayWatch_->setObjectName("trayWatch");
    trayWatch_->setInterval(waiting ? 500 : 2000);
    connect(trayWatch_, &QTimer::timeout, this, [this] { WatchForTray(); });
    trayWatch_->start();
    if (waiting) {
      showWithoutTrayAt_ = std::chrono::steady_clock::now() + services_.waitForTray;
    } else {
      show();
    }
  }
}

void TfrmMain::WatchForTray() {
  if (services_.trayProbe()) {
    EnterTrayMode();
  } else if (showWithoutTrayAt_ && std::chrono::steady_clock::now() >= *showWithoutTrayAt_) {
    showWithoutTrayAt_.reset();
    trayWatch_->setInterval(2000);
    show();
  }
}

void TfrmMain::EnterTrayMode() {
  trayWatch_->stop();
  trayMode_ = true;
  showWithoutTrayAt_.reset();
  // Changing the flags hides the window; one the user works in comes back, off the taskbar.
  const bool keepShown = isVisible() && isActiveWindow() && !isMinimized();
  setWindowFlags(windowFlags() | Qt::Tool);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  if (keepShown) show();
  // An icon made before the tray existed is shown again, so the new tray takes it in.
  RxTrayIcon1->hide();
  RxTrayIcon1->show();
  qCInfo(lcApp) << "A notification area came up; the tool now lives there";
}

TfrmMain::~TfrmMain() {
  // FormDestroy
  tblScannerData.Close();
  link_.Release();
}

void TfrmMain::AttachDialogs(TfrmActie* actie, TfrmHistory* history, TfrmAbout* about) {
  frmActie_ = actie;
  frmHistory_ = history;
  frmAbout_ = about;
}

void TfrmMain::AttachWindowMakers(WindowMakers makers) {
  makers_ = std::move(makers);
}

namespace {

template <typename T>
T* MadeWhenNeeded(QPointer<T>& window, std::function<T*()>& make) {
  if (!window && make) {
    const auto maker = std::move(make);
    make = nullptr;
    window = maker();
  }
  return window.data();
}

}  // namespace

TfrmActie* TfrmMain::Actie() {
  return MadeWhenNeeded(frmActie_, makers_.actie);
}

TfrmHistory* TfrmMain::History() {
  return MadeWhenNeeded(frmHistory_, makers_.history);
}

TfrmAbout* TfrmMain::About() {
  return MadeWhenNeeded(frmAbout_, makers_.about);
}

void TfrmMain::CreateControls() {
  auto* client = new QWidget(this);
  client->setFixedSize(kLayoutWidth, kClientHeight);
  setCentralWidget(client);

  Image1 = new ArtworkPanel(client);
  Image1->setObjectName("Image1");
  Image1->setGeometry(0, 0, 259, 249);

  lblStatus = new QLabel(texts::kNotConnected, client);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(80, 8, 156, 13);
  lblStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  chkAuto = new QCheckBox(texts::kAutoConnect, client);
  chkAuto->setObjectName("chkAuto");
  chkAuto->setGeometry(20, 36, 216, 17);
  chkAuto->setLayoutDirection(Qt::RightToLeft);  // text left of the box
  chkAuto->setChecked(true);

  auto* label2 = new QLabel(texts::kPortLabel, client);
  label2->setObjectName("Label2");
  label2->move(20, 68);

  cmbCOMPORTS = new DeferredEditComboBox(client);
  cmbCOMPORTS->setObjectName("cmbCOMPORTS");
  cmbCOMPORTS->setGeometry(72, 65, 164, 21);
  cmbCOMPORTS->setEnabled(false);

  btnConnect = new QPushButton(texts::kConnect, client);
  btnConnect->setObjectName("btnConnect");
  btnConnect->setGeometry(20, 91, 216, 25);

  auto* label4 = new QLabel(texts::kScannerIdLabel, client);
  label4->setObjectName("Label4");
  label4->move(20, 122);

  lblScannerId = new QLabel(client);
  lblScannerId->setObjectName("lblScannerId");
  lblScannerId->setGeometry(80, 122, 156, 13);
  lblScannerId->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* label1 = new QLabel(texts::kActionLabel, client);
  label1->setObjectName("Label1");
  label1->move(20, 163);

  cmbActie = new DeferredEditComboBox(client);
  cmbActie->setObjectName("cmbActie");
  cmbActie->setGeometry(72, 160, 164, 21);
  // Show the start of a long entry, not its end.
  connect(cmbActie, &QComboBox::currentIndexChanged, this, [this] {
    if (cmbActie->lineEdit() != nullptr) cmbActie->lineEdit()->setCursorPosition(0);
  });

  chkSamenvoegen = new QCheckBox(texts::kMerge, client);
  chkSamenvoegen->setObjectName("chkSamenvoegen");
  chkSamenvoegen->setGeometry(20, 184, 216, 17);
  chkSamenvoegen->setLayoutDirection(Qt::RightToLeft);
  chkSamenvoegen->setChecked(false);

  btnHistory = new QPushButton(texts::kHistory, client);
  btnHistory->setObjectName("btnHistory");
  btnHistory->setGeometry(20, 211, 105, 27);

  btnRedo = new QPushButton(texts::kRedo, client);
  btnRedo->setObjectName("btnRedo");
  btnRedo->setGeometry(131, 211, 105, 27);

  ShowLinkState(false);

  // Only a user's action runs a handler; the program's own changes do not.
  connect(chkAuto, &QCheckBox::clicked, this, [this] { chkAutoClick(); });
  connect(cmbCOMPORTS, &QComboBox::activated, this, [this] { cmbCOMPORTSSelect(); });
  connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(true); });
  connect(cmbActie, &QComboBox::activated, this, [this] { cmbActieSelect(); });
  connect(chkSamenvoegen, &QCheckBox::clicked, this, [this] { chkSamenvoegenClick(); });
  connect(btnHistory, &QPushButton::clicked, this, [this] { btnHistoryClick(); });
  connect(btnRedo, &QPushButton::clicked, this, [this] { btnRedoClick(); });

  tmrCheckScanner = new QTimer(this);
  tmrCheckScanner->setObjectName("tmrCheckScanner");
  tmrCheckScanner->setInterval(10);
  connect(tmrCheckScanner, &QTimer::timeout, this, [this] { tmrCheckScannerTimer(); });

  trmCheckForUpdate = new QTimer(this);
  trmCheckForUpdate->setObjectName("trmCheckForUpdate");
  trmCheckForUpdate->setInterval(1000);
  connect(trmCheckForUpdate, &QTimer::timeout, this, [this] { trmCheckForUpdateTimer(); });
}

void TfrmMain::CreateMenus() {
  QMenu* file = menuBar()->addMenu(texts::kMenuFile);
  Sluiten1 = file->addAction(texts::kClose);
  Sluiten1->setObjectName("Sluiten1");
  connect(Sluiten1, &QAction::triggered, this, [this] { Sluiten1Click(); });

  QMenu* help = menuBar()->addMenu(texts::kMenuHelp);
  Checkvooreenupdate1 = help->addAction(texts::kCheckForUpdate);
  Checkvooreenupdate1->setObjectName("Checkvooreenupdate1");
  Checkvooreenupdate1->setVisible(false);
  connect(Checkvooreenupdate1, &QAction::triggered, this, [this] { Checkvooreenupdate1Click(); });
  Info1 = help->addAction(texts::kInfo);
  Info1->setObjectName("Info1");
  connect(Info1, &QAction::triggered, this, [this] { Info1Click(); });

  mnuPopUp = new QMenu(this);
  mnuPopUp->setObjectName("mnuPopUp");
  Sluiten2 = mnuPopUp->addAction(texts::kClose);
  Sluiten2->setObjectName("Sluiten2");
  connect(Sluiten2, &QAction::triggered, this, [this] { Sluiten2Click(); });
}

void TfrmMain::setVisible(bool visible) {
  if (visible && !finishedForShow_) FinishForShow();
  QMainWindow::setVisible(visible);
}

void TfrmMain::FinishForShow() {
  finishedForShow_ = true;
  cmbCOMPORTS->MakeEditField();
  cmbActie->MakeEditField();
  cmbActie->lineEdit()->setCursorPosition(0);
  setFixedHeight(kClientHeight + menuBar()->sizeHint().height());
  if (screen() != nullptr) move(screen()->availableGeometry().center() - rect().center());
}

void TfrmMain::CreateTray() {
  RxTrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
  RxTrayIcon1->setObjectName("RxTrayIcon1");
  RxTrayIcon1->setContextMenu(mnuPopUp);
  connect(RxTrayIcon1, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            // Trays that speak the D-Bus protocol send one activation, never a double-click.
            if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
              RxTrayIcon1DblClick();
            }
          });
  RxTrayIcon1->show();
}

void TfrmMain::ReadSettings() {
  // One guarded block: a failure leaves the values not yet read at their initial state.
  try {
    const bool autoConnect = settings_.ReadBool(settings::kAuto, true);
    if (autoConnect != chkAuto->isChecked()) {
      chkAuto->setChecked(autoConnect);
      chkAutoClick();
    }
    const bool merge = settings_.ReadBool(settings::kSamenvoegen, true);
    if (merge != chkSamenvoegen->isChecked()) {
      chkSamenvoegen->setChecked(merge);
      chkSamenvoegenClick();
    }
    int action = settings_.ReadInteger(settings::kActie, 1);
    ConnectAtStart = settings_.ReadBool(settings::kConnect, false);
    if (action < 0 || action >= cmbActie->count()) action = 1;
    cmbActie->setCurrentIndex(action);
    link_.ComPort = settings_.ReadText(settings::kComPort, "");
    VemoServer = settings_.ReadText(settings::kVemoServer, "");
    VemoServerAtStart = VemoServer;
  } catch (...) {
    LogHandlerFailure("Reading the settings", CurrentExceptionText());
  }
}

void TfrmMain::WriteSetting(const std::function<void()>& write) {
  try {
    write();
  } catch (...) {
    // The value stays in memory; the settings file is only a convenience for the next start.
    LogHandlerFailure("Writing the settings", CurrentExceptionText());
  }
}

void TfrmMain::LogHandlerFailure(const std::string& handler, const std::string& reason) {
  std::string& last = handlerFailures_[handler];
  if (last == reason) return;
  last = reason;
  qCWarning(lcApp).noquote() << QString::fromStdString(handler + " failed: " + reason);
}

void TfrmMain::chkSamenvoegenClick() {
  WriteSetting([&] { settings_.WriteBool(settings::kSamenvoegen, chkSamenvoegen->isChecked()); });
}

void TfrmMain::cmbActieSelect() {
  WriteSetting([&] { settings_.WriteInteger(settings::kActie, cmbActie->currentIndex()); });
}

void TfrmMain::Sluiten1Click() {
  EndSession();
}
void TfrmMain::Sluiten2Click() {
  EndSession();
}

void TfrmMain::EndSession() {
  Closing = true;
  // Ends every event loop, open dialogs included, without asking the windows first.
  QCoreApplication::exit(0);
}

void TfrmMain::Info1Click() {
  if (TfrmAbout* about = About()) about->exec();
}

void TfrmMain::RxTrayIcon1DblClick() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (Closing) {
    event->accept();
    return;
  }
  event->ignore();
  if (trayMode_) {
    hide();
  } else {
    showMinimized();
  }
}

void TfrmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Minimising puts the whole program back in the notification area.
  if (event->type() == QEvent::WindowStateChange && trayMode_ && isMinimized()) {
    QTimer::singleShot(0, this, [this] {
      hide();
      setWindowState(windowState() & ~Qt::WindowMinimized);
    });
  }
}

void TfrmMain::ShowLinkState(bool up) {
  lblStatus->setText(up ? texts::kConnected : texts::kNotConnected);
  lblStatus->setStyleSheet(up ? "color: #008000;" : "color: #ff0000;");
}

}  // namespace kessmar
