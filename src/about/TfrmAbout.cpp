#include "about/TfrmAbout.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "about/AboutBanner.h"
#include "common/CodePage.h"
#include "platform/qt/CenterOnScreen.h"
#include "version/VersionLine.h"

namespace kessmar {
namespace {

constexpr int kClientWidth = 299;
constexpr int kClientHeight = 180;

const char* const kCaption = "Over Kessmar Barcode Tool";
const char* const kAuthor = "Kessmar B.V. ontwikkelteam";
const char* const kCopyright = "\u00A9 2026 Kessmar B.V., Veenendaal";

std::filesystem::path RunningExecutable() {
  return QCoreApplication::applicationFilePath().toStdString();
}

QString FromWindows1252(const std::string& text) {
  return QString::fromStdString(Cp1252ToUtf8(text));
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent, const std::filesystem::path& programFile)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      versionInfo_(programFile.empty() ? RunningExecutable() : programFile) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setFixedSize(kClientWidth, kClientHeight);
  // Tahoma 8 pt as laid out at 96 dots per inch: 11 pixels, whatever the screen's density.
  QFont font;
  font.setFamilies({"Tahoma", "DejaVu Sans Condensed"});  // a narrow face where Tahoma is absent
  font.setPixelSize(11);
  setFont(font);
  QPalette background = palette();
  background.setColor(QPalette::Window, Qt::white);
  setPalette(background);
  setAutoFillBackground(true);

  CreateControls();
  FormCreate();
}

void TfrmAbout::CreateControls() {
  auto label = [this](const char* name, int x, int y, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->adjustSize();
    l->move(x, y);
    return l;
  };

  Image2_ = new QLabel(this);
  Image2_->setObjectName(QStringLiteral("Image2"));
  Image2_->setPixmap(PaintAboutBanner());
  Image2_->setGeometry(0, 0, kAboutBannerWidth, kAboutBannerHeight);

  lblVersion_ = label("lblVersion", 0, 72, QString());
  lblVersion_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lblVersion_->setGeometry(0, 72, 300, fontMetrics().height());

  Label2_ = label("Label2", 8, 103, QStringLiteral("Auteur :"));
  Label3_ = label("Label3", 68, 103, QString::fromUtf8(kAuthor));
  Label4_ = label("Label4", 8, 122, QStringLiteral("Copyright :"));
  lblCopyright_ = label("lblCopyright", 68, 122, QString());
  Label1_ = label("Label1", 8, 159, QStringLiteral("Geschikt voor een OPN-2001 scanner"));

  Button1_ = new QPushButton(QStringLiteral("Sluiten"), this);
  Button1_->setObjectName(QStringLiteral("Button1"));
  Button1_->setGeometry(216, 147, 75, 25);
  connect(Button1_, &QPushButton::clicked, this, &TfrmAbout::Button1Click);
}

void TfrmAbout::FormCreate() {
  lblVersion_->setText(FromWindows1252(FormatVersionLine(versionInfo_)));
  lblCopyright_->setText(QString::fromUtf8(kCopyright));
  lblCopyright_->adjustSize();
}

void TfrmAbout::Button1Click() {
  accept();
}

void TfrmAbout::showEvent(QShowEvent* event) {
  // Centred on the screen, not on the (hidden) main window.
  platform::CenterOnScreen(*this);
  QDialog::showEvent(event);
}

}  // namespace kessmar
