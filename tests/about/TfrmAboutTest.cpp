// The About window on the offscreen platform: caption, frame, controls where its layout puts
// them, the version line from the program file, and "Sluiten".
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "about/TfrmAbout.h"

namespace kessmar {
namespace {

QLabel* LabelOf(const TfrmAbout& w, const char* name) {
  auto* label = w.findChild<QLabel*>(QString::fromLatin1(name));
  EXPECT_NE(label, nullptr) << name;
  return label;
}

TEST(TfrmAbout, ShowsTheProgramsVersionAndFixedTexts) {
  TfrmAbout w(nullptr, KESSMAR_VERSION_SAMPLE);
  EXPECT_EQ(w.objectName(), "frmAbout");
  EXPECT_EQ(w.windowTitle(), "Over Kessmar Barcode Tool");
  EXPECT_EQ(w.size(), QSize(299, 180));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(w.font().families().value(0), "Tahoma");
  EXPECT_EQ(w.font().pixelSize(), 11);  // 8 pt at 96 dots per inch

  QLabel* version = LabelOf(w, "lblVersion");
  EXPECT_EQ(version->text(), "Versie : 1.0   Build : 170     4-11-2010 14:48:01");
  EXPECT_EQ(version->geometry().topLeft(), QPoint(0, 72));
  EXPECT_EQ(version->width(), 300);
  EXPECT_TRUE(version->alignment().testFlag(Qt::AlignHCenter));

  struct Expected {
    const char* name;
    QPoint at;
    QString text;  // empty: any non-empty text
  };
  for (const Expected& e :
       {Expected{"Label2", {8, 103}, "Auteur :"}, Expected{"Label3", {68, 103}, {}},
        Expected{"Label4", {8, 122}, "Copyright :"},
        Expected{
            "lblCopyright", {68, 122}, QString::fromUtf8("\u00A9 2026 Kessmar B.V., Veenendaal")},
        Expected{"Label1", {8, 159}, "Geschikt voor een OPN-2001 scanner"}}) {
    QLabel* label = LabelOf(w, e.name);
    EXPECT_EQ(label->pos(), e.at) << e.name;
    if (e.text.isEmpty()) {
      EXPECT_FALSE(label->text().isEmpty()) << e.name;
    } else {
      EXPECT_EQ(label->text(), e.text) << e.name;
    }
  }

  QLabel* banner = LabelOf(w, "Image2");
  EXPECT_EQ(banner->geometry(), QRect(0, 0, 300, 71));
  const QImage picture = banner->pixmap().toImage();
  EXPECT_EQ(picture.size(), QSize(300, 71));
  EXPECT_NE(picture.pixel(2, 2), picture.pixel(297, 68));  // painted, not a flat fill

  auto* close = w.findChild<QPushButton*>("Button1");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->text(), "Sluiten");
  EXPECT_EQ(close->geometry(), QRect(216, 147, 75, 25));
}

TEST(TfrmAbout, SluitenEndsTheModalDisplay) {
  TfrmAbout w(nullptr, KESSMAR_VERSION_SAMPLE);
  auto* close = w.findChild<QPushButton*>("Button1");
  ASSERT_NE(close, nullptr);
  for (int showing = 0; showing < 2; ++showing) {
    QTimer::singleShot(0, close, [close] { close->click(); });
    EXPECT_EQ(w.exec(), QDialog::Accepted);
    EXPECT_FALSE(w.isVisible());
    // Shown again, it shows the same text.
    EXPECT_EQ(LabelOf(w, "lblVersion")->text(),
              "Versie : 1.0   Build : 170     4-11-2010 14:48:01");
  }
}

TEST(TfrmAbout, ReadsTheRunningProgramByDefault) {
  // The test program carries no version resource.
  TfrmAbout w;
  EXPECT_FALSE(w.VersionInfo().HasVersionInfo());
  EXPECT_EQ(LabelOf(w, "lblVersion")->text(), "Versie : 0.0   Build : 0     ");
}

}  // namespace
}  // namespace kessmar
