#include "update/TfrmUpdate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "platform/EnvironmentOverrides.h"
#include "platform/FolderAccess.h"
#include "platform/UserMessages.h"
#include "platform/qt/Diagnostics.h"
#include "update/FetchHelper.h"
#include "update/TransferRate.h"
#include "update/TrustedKeys.h"
#include "update/UpdateServer.h"

namespace kessmar {
namespace {

constexpr int kClientWidth = 475;
constexpr int kClientHeight = 277;
constexpr int64_t kEndingProbeMs = 50;
// Transfers call the pump after every 4096-byte block, far more often than anyone can click:
// the event loop runs at most this often, which keeps it responsive and the transfer fast.
constexpr int64_t kPumpEveryUs = 1000;

const char* const kCaption = "Kessmar Scanner Tool updater";
const char* const kFetchFailed = "Er is een fout opgetreden tijdens het ophalen van de update !";
const char* const kDownloadFailed = "Er is een fout opgetreden tijdens het downloaden.";
const char* const kRestartMessage = "Druk op Ok om het programma te herstarten";
const char* const kPackageManaged =
    "Deze versie van de Kessmar Scanner Tool wordt bijgewerkt via het pakketbeheer van het "
    "systeem.";
const char* const kRefused = "De update is geweigerd: ";

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// QProgressBar holds int; large sizes are scaled down together so that the ratio stays.
void SetProgress(QProgressBar* bar, int64_t position, int64_t maximum) {
  if (maximum < 0) maximum = 0;
  position = std::clamp<int64_t>(position, 0, maximum);
  int64_t scale = 1;
  while (maximum / scale > INT_MAX) scale *= 2;
  bar->setMaximum(static_cast<int>(maximum / scale));
  bar->setValue(static_cast<int>(position / scale));
}

// The illustration beside the pages: a download arrow over the window's colours.
QPixmap PaintBillboard(int width, int height) {
  QPixmap picture(width, height);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(0x1F, 0x4E, 0x9A));
  sky.setColorAt(1, QColor(0x8F, 0xB8, 0xE8));
  p.fillRect(picture.rect(), sky);
  QPainterPath arrow;
  const double cx = width / 2.0;
  arrow.moveTo(cx - 18, 40);
  arrow.lineTo(cx + 18, 40);
  arrow.lineTo(cx + 18, 100);
  arrow.lineTo(cx + 38, 100);
  arrow.lineTo(cx, 140);
  arrow.lineTo(cx - 38, 100);
  arrow.lineTo(cx - 18, 100);
  arrow.closeSubpath();
  p.fillPath(arrow, QColor(255, 255, 255, 230));
  p.fillRect(QRectF(cx - 40, 150, 80, 8), QColor(255, 255, 255, 230));
  QFont font;
  font.setFamilies({"Arial", "DejaVu Sans"});
  font.setPixelSize(14);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, height - 36, width, 24), Qt::AlignCenter, QStringLiteral("Kessmar"));
  return picture;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->adjustSize();
  label->move(x, y);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  return button;
}

QWidget* MakePage(QStackedWidget* pages, const char* name) {
  auto* page = new QWidget(pages);
  page->setObjectName(QString::fromLatin1(name));
  pages->addWidget(page);
  return page;
}

}  // namespace

TfrmUpdate::TfrmUpdate(UserMessages& messages, ShellOpen& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      messages_(messages),
      shell_(shell) {
  setObjectName(QStringLiteral("frmUpdate"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setFixedSize(kClientWidth, kClientHeight);
  // "MS Sans Serif" 8 pt as laid out at 96 dots per inch: 11 pixels.
  QFont font;
  font.setFamilies({"MS Sans Serif", "DejaVu Sans"});
  font.setPixelSize(11);
  setFont(font);
  autoAnswer_ = platform::EnvironmentOverride(platform::env::kUpdateAutoanswer) == "1";
  TickCount = [] { return static_cast<uint32_t>(NowMs()); };

  CreateControls();
  ConfigureWebUpdate();
}

TfrmUpdate::~TfrmUpdate() = default;

void TfrmUpdate::CreateControls() {
  Shape1 = new QFrame(this);
  Shape1->setObjectName(QStringLiteral("Shape1"));
  Shape1->setGeometry(2, 1, 471, 272);
  Shape1->setFrameShape(QFrame::Box);
  Shape1->setAutoFillBackground(true);
  QPalette face = Shape1->palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  Shape1->setPalette(face);

  Billboard = new QLabel(this);
  Billboard->setObjectName(QStringLiteral("Billboard"));
  Billboard->setGeometry(9, 27, 116, 201);
  Billboard->setScaledContents(true);
  Billboard->setPixmap(PaintBillboard(116, 201));

  pagMain = new QStackedWidget(this);
  pagMain->setObjectName(QStringLiteral("pagMain"));
  pagMain->setGeometry(136, 8, 329, 265);

  CreateOfferPage();

  tabProgress = MakePage(pagMain, "tabProgress");
  lblDownloading =
      MakeLabel(tabProgress, "lblDownloading", 0, 8, QStringLiteral("Bestanden downloaden"));
  QFont bold = lblDownloading->font();
  bold.setBold(true);
  lblDownloading->setFont(bold);
  lblDownloading->adjustSize();
  lblCurrentFile =
      MakeLabel(tabProgress, "lblCurrentFile", 0, 56, QStringLiteral("Voortgang huidig bestand:"));
  FileLabel = MakeLabel(tabProgress, "FileLabel", 152, 56, QString());
  lblSpeed = new QLabel(tabProgress);
  lblSpeed->setObjectName(QStringLiteral("lblSpeed"));
  lblSpeed->setGeometry(227, 56, 87, fontMetrics().height());
  lblSpeed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FileProgress = new QProgressBar(tabProgress);
  FileProgress->setObjectName(QStringLiteral("FileProgress"));
  FileProgress->setGeometry(0, 80, 313, 17);
  FileProgress->setTextVisible(false);
  lblProgress = MakeLabel(tabProgress, "lblProgress", 0, 136,
                          QStringLiteral("Voortgang van alle update bestanden"));
  TotalProgress = new QProgressBar(tabProgress);
  TotalProgress->setObjectName(QStringLiteral("TotalProgress"));
  TotalProgress->setGeometry(0, 160, 313, 17);
  TotalProgress->setTextVisible(false);
  CancelButton = MakeButton(tabProgress, "CancelButton", {224, 224, 91, 25}, "Stoppen");

  tabDone = MakePage(pagMain, "tabDone");
  lblUpgradeReady = MakeLabel(tabDone, "lblUpgradeReady", 0, 8, QString());
  QFont banner;
  banner.setFamilies({"Arial", "DejaVu Sans"});
  banner.setPixelSize(21);  // 16 pt at 96 dots per inch
  banner.setBold(true);
  banner.setItalic(true);
  lblUpgradeReady->setFont(banner);
  lblUpgradeReady->setText(QStringLiteral("Upgrade voltooid !"));
  lblUpgradeReady->adjustSize();
  lblUpgradeReadyMessage = MakeLabel(tabDone, "lblUpgradeReadyMessage", 0, 96, kRestartMessage);
  RestartButton = MakeButton(tabDone, "RestartButton", {224, 224, 91, 25}, "&OK");

  tmrStartUpdate = new QTimer(this);
  tmrStartUpdate->setObjectName(QStringLiteral("tmrStartUpdate"));
  tmrStartUpdate->setInterval(100);

  connect(btnStart, &QPushButton::clicked, this, [this] { Guarded([this] { btnStartClick(); }); });
  connect(btnLater, &QPushButton::clicked, this, [this] { Guarded([this] { btnLaterClick(); }); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
  connect(RestartButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { RestartButtonClick(); }); });
  connect(tmrStartUpdate, &QTimer::timeout, this,
          [this] { Guarded([this] { tmrStartUpdateTimer(); }); });
}

void TfrmUpdate::CreateOfferPage() {
  tabNewVersionAvailable = MakePage(pagMain, "tabNewVersionAvailable");
  // The headline is wider than the page in most fonts: it wraps, and the what's-new text
  // starts below it.
  constexpr int kPageWidth = 321;
  lblNieuweUpdate =
      MakeLabel(tabNewVersionAvailable, "lblNieuweUpdate", 0, 4,
                QStringLiteral("Er is een nieuwe versie van de Kessmar Scanner Tool beschikbaar"));
  QFont underlined = lblNieuweUpdate->font();
  underlined.setUnderline(true);
  lblNieuweUpdate->setFont(underlined);
  lblNieuweUpdate->setStyleSheet(QStringLiteral("color: black"));
  lblNieuweUpdate->setWordWrap(true);
  lblNieuweUpdate->setFixedWidth(kPageWidth);
  lblNieuweUpdate->setFixedHeight(lblNieuweUpdate->heightForWidth(kPageWidth));
  const int textTop = std::max(32, lblNieuweUpdate->geometry().bottom() + 5);
  memWhatsNew = new QTextEdit(tabNewVersionAvailable);
  memWhatsNew->setObjectName(QStringLiteral("memWhatsNew"));
  memWhatsNew->setGeometry(0, textTop, kPageWidth, 218 - textTop);
  memWhatsNew->setReadOnly(true);
  memWhatsNew->setAcceptRichText(false);
  btnStart = MakeButton(tabNewVersionAvailable, "btnStart", {230, 227, 91, 25}, "Ja");
  btnLater = MakeButton(tabNewVersionAvailable, "btnLater", {0, 225, 91, 25}, "Later");
}

void ConfigureProgramUpdate(TWebUpdate& web) {
  web.Agent = "TWebUpdate";
  web.UpdateType = TUpdateType::httpUpdate;
  web.UpdateConnect = TUpdateConnect::wucConnectSilent;
  web.UpdateUpdate = TUpdateUpdate::wuuSilent;
  web.ExistingConnection = true;
  web.URL = ControlFileUrl();
  web.ExtraCaFile = ExtraCaFile();
  web.FetchProgram = DefaultFetchProgram();
  web.VersionCheck = TVersionCheck::vcUpdateOnly;
  web.ExtractCAB = true;
  web.KeepIntermediateFiles = false;
  web.AutoRestart = true;
  web.LogFileName = "WUPDATE.LOG";
  web.OnRefused = [](TWebUpdate&, const std::string& reason) {
    qCWarning(lcUpdate).noquote() << QString::fromStdString(reason);
  };
  web.OnNotice = [](const std::string& text) {
    qCWarning(lcUpdate).noquote() << QString::fromStdString(text);
  };
  try {
    web.TrustedKeys = TrustedUpdateKeys();
  } catch (const std::exception& e) {
    // Without its keys nothing is checked: every update is refused.
    qCWarning(lcUpdate).noquote() << e.what();
    web.URL.clear();
  }
}

void TfrmUpdate::ConfigureWebUpdate() {
  ConfigureProgramUpdate(WebUpdate);
  WebUpdate.Messages = &messages_;
  WebUpdate.Shell = &shell_;
  WebUpdate.ProcessMessages = [this] { PumpEvents(); };
  WebUpdate.OnFileProgress = [this](TWebUpdate&, const std::string& fileName, int64_t pos,
                                    int64_t size) { WebUpdateFileProgress(fileName, pos, size); };
  WebUpdate.ApplicationTerminate = [this] {
    if (EndProgram) {
      EndProgram();
    } else {
      QCoreApplication::exit(0);
    }
  };
  if (autoAnswer_) WebUpdate.OnAppRestart = [](TWebUpdate&) { return true; };
}

void TfrmUpdate::PumpEvents() {
  const int64_t nowUs = NowUs();
  if (nowUs - lastPumpUs_ < kPumpEveryUs) return;
  lastPumpUs_ = nowUs;
  QCoreApplication::processEvents();
  // Ending the program ends every event loop but leaves no flag to see; a loop that refuses to
  // start tells. A download stops then instead of keeping the program alive to its end.
  const int64_t now = NowMs();
  if (programEnding_ || now - lastEndingProbe_ < kEndingProbeMs) return;
  lastEndingProbe_ = now;
  QEventLoop probe;
  QTimer::singleShot(0, &probe, &QEventLoop::quit);
  if (probe.exec() == -1) {
    programEnding_ = true;
    WebUpdate.RequestCancel();
  }
}

void TfrmUpdate::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    unsetCursor();
    if (!programEnding_) messages_.ShowError(e.what());
    // The progress page has no way out of its own: a failed download phase closes the window.
    if (isVisible() && pagMain->currentWidget() == tabProgress) CloseAndExit();
  }
}

void TfrmUpdate::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* primary = QGuiApplication::primaryScreen()) {
    const QRect area =
        parentWidget() != nullptr ? parentWidget()->frameGeometry() : primary->availableGeometry();
    move(area.center() - rect().center());
  }
  // FormShow
  raise();
  activateWindow();
}

void TfrmUpdate::keyPressEvent(QKeyEvent* event) {
  // The window has no close box; Escape does not close it either.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmUpdate::OfferUpdate() {
  Offer();
}

void TfrmUpdate::OfferUpdateAsked() {
  if (Offer()) return;
  if (!platform::CanWriteInFolder(WebUpdate.ProgramPath().parent_path())) {
    messages_.ShowInfo(kPackageManaged);
  } else if (!WebUpdate.LastRefusal.empty()) {
    messages_.ShowError(kRefused + WebUpdate.LastRefusal);
  }
}

bool TfrmUpdate::Offer() {
  if (offering_) {
    // A second offer (the menu item during the daily check) must not run the component twice.
    if (isVisible()) {
      raise();
      activateWindow();
    }
    return true;
  }
  offering_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{offering_};

  pagMain->setCurrentWidget(tabNewVersionAvailable);
  WebUpdate.OnDownloadedWhatsNew = nullptr;
  if (!WebUpdate.QueryUpdateAvailable(false)) return false;
  // "Ja" waits for the control file that tmrStartUpdateTimer fetches: pressed during that
  // fetch, it would run the download inside it.
  btnStart->setEnabled(false);
  tmrStartUpdate->start();
  exec();
  tmrStartUpdate->stop();
  return true;
}

void TfrmUpdate::CloseAndExit() {
  WebUpdate.CloseSession();
  close();
}

void TfrmUpdate::tmrStartUpdateTimer() {
  tmrStartUpdate->stop();
  struct EnableStart {
    QPushButton* button;
    ~EnableStart() { button->setEnabled(true); }
  } enableStart{btnStart};
  WebUpdate.OnDownloadedWhatsNew = [this](TWebUpdate&, const std::vector<std::string>& text,
                                          int& res) { WebUpdateDownloadedWhatsNew(text, res); };
  WebUpdate.QueryUpdateAvailable(false);
  if (WebUpdate.OpenSession() != 0) return;
  unsetCursor();
  WebUpdate.UpdateUpdate = TUpdateUpdate::wuuSilent;
  if (WebUpdate.FetchControlFile() != 0) {
    if (!programEnding_) messages_.ShowError(kFetchFailed);
    CloseAndExit();
    return;
  }
  if (autoAnswer_) QTimer::singleShot(0, this, [this] { Guarded([this] { btnStartClick(); }); });
}

void TfrmUpdate::WebUpdateDownloadedWhatsNew(const std::vector<std::string>& text, int& res) {
  QStringList lines;
  for (const std::string& line : text) lines << QString::fromStdString(line);
  memWhatsNew->setPlainText(lines.join(QLatin1Char('\n')));
  pagMain->setCurrentWidget(tabNewVersionAvailable);
  (void)res;  // left at 1
}

void TfrmUpdate::btnLaterClick() {
  WebUpdate.CloseSession();
  close();
}

void TfrmUpdate::btnStartClick() {
  WebUpdate.LoadFileEntries();
  WebUpdate.SelectFileEntries();
  RunDownload();
}

void TfrmUpdate::RunDownload() {
  ProgressFileName.clear();
  for (TFileDescription& entry : WebUpdate.FileEntries) entry.Selected = true;
  FileLabel->clear();
  FileProgress->setValue(0);
  TotalProgress->setValue(0);
  pagMain->setCurrentWidget(tabProgress);
  CancelButton->setEnabled(true);
  CancelButton->setFocus();
  setCursor(Qt::WaitCursor);
  if (WebUpdate.InstallFileEntries() == -1) {
    unsetCursor();
    WebUpdate.RequestCancel();
    if (!programEnding_) messages_.ShowError(kDownloadFailed);
  }
  WebUpdate.RunPostUpdateActions();
  unsetCursor();
  if (WebUpdate.CancelRequested) {
    CloseAndExit();
    return;
  }
  WebUpdate.CloseSession();
  if (WebUpdate.OnSuccess) WebUpdate.OnSuccess(WebUpdate);
  pagMain->setCurrentWidget(tabDone);
  lblUpgradeReadyMessage->setText(WebUpdate.ApplicationUpdatePending() ? kRestartMessage : "");
  RestartButton->setEnabled(true);
  RestartButton->setFocus();
  if (autoAnswer_) {
    QTimer::singleShot(0, this, [this] { Guarded([this] { RestartButtonClick(); }); });
  }
}

void TfrmUpdate::CancelButtonClick() {
  WebUpdate.RequestCancel();
}

void TfrmUpdate::RestartButtonClick() {
  if (WebUpdate.ApplicationUpdatePending()) {
    WebUpdate.LaunchUpdater();
  } else {
    close();
  }
}

void TfrmUpdate::WebUpdateFileProgress(const std::string& fileName, int64_t pos, int64_t size) {
  const uint32_t now = TickCount();
  const bool newFile = fileName != ProgressFileName;
  if (newFile) {
    ProgressFileName = fileName;
    FileStartTick = now;
  } else if (now == lastShownTick_ && pos < size) {
    // The controls already show this millisecond; the end of a file is always shown.
    PumpEvents();
    return;
  }
  lastShownTick_ = now;
  const uint32_t elapsed = now - FileStartTick;
  SetProgress(FileProgress, pos, size);
  if (elapsed > 0) lblSpeed->setText(TransferRateText(pos, elapsed, QLocale::system()));
  int64_t total = 0;
  int64_t before = 0;
  for (size_t i = 0; i < WebUpdate.FileEntries.size(); ++i) {
    total += WebUpdate.FileEntries[i].FileSize;
    if (static_cast<int>(i) < WebUpdate.ActiveIndex) before += WebUpdate.FileEntries[i].FileSize;
  }
  SetProgress(TotalProgress, pos + before, total);
  PumpEvents();
}

}  // namespace kessmar
