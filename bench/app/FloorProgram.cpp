// The floor of the start-up benchmark: the least a Qt Widgets tray program does, a tray icon
// and one small window. KESSMAR_REPORT_STARTUP=1 prints the monotonic clock once the event loop
// runs and ends the program, as the tool does.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::darkBlue);
  QSystemTrayIcon tray{QIcon(pixmap)};
  tray.setToolTip("Floor");
  tray.show();
  QWidget window;
  QVBoxLayout layout(&window);
  QLabel label("Kessmar");
  layout.addWidget(&label);
  window.resize(320, 120);
  window.show();
  const char* report = std::getenv("KESSMAR_REPORT_STARTUP");
  if (report != nullptr && *report == '1') {
    QTimer::singleShot(0, [] {
      const auto now = std::chrono::steady_clock::now().time_since_epoch();
      std::printf("event-loop-running %lld\n",
                  static_cast<long long>(std::chrono::nanoseconds(now).count()));
      std::fflush(stdout);
      QCoreApplication::exit(0);
    });
  }
  return QApplication::exec();
}
