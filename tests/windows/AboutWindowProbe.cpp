// about-window-probe PROGRAM: shows the About window for PROGRAM's version resource on the
// windows platform, prints the version line the window shows and whether it showed, and ends.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "about/TfrmAbout.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: about-window-probe PROGRAM\n", stderr);
    return 2;
  }
  QApplication app(argc, argv);
  const std::filesystem::path program = QCoreApplication::arguments().at(1).toStdWString();
  kessmar::TfrmAbout about(nullptr, program);
  about.show();
  QTimer::singleShot(1500, &app, [&] {
    const auto* line = about.findChild<QLabel*>("lblVersion");
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("shown: %d\n", about.isVisible() ? 1 : 0);
    std::printf("version: %s\n", line != nullptr ? line->text().toUtf8().constData() : "");
    std::fflush(stdout);
    QCoreApplication::exit(0);
  });
  return QApplication::exec();
}
