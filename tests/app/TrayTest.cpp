// The tray icon in a real notification area: an X server (Xvfb) with the trayer tray host,
// started by this test program itself before Qt connects to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <filesystem>

#include "ChildProcess.h"
#include "MainWindowFixture.h"
#include "RunEventsUntil.h"

namespace kessmar::testing {
namespace {

using TrayTest = MainWindowFixture;

TEST_F(TrayTest, TheIconSitsInTheNotificationAreaAndTheWindowStaysHidden) {
  ASSERT_TRUE(RunEventsUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                             std::chrono::seconds(10)));
  TfrmMain& w = Start(QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_TRUE(w.TrayAvailable());
  EXPECT_TRUE(w.RxTrayIcon1->isVisible());
  EXPECT_TRUE(
      RunEventsUntil([&] { return w.RxTrayIcon1->geometry().isValid(); }, std::chrono::seconds(5)));
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::Tool));  // no taskbar button

  w.RxTrayIcon1->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(RunEventsUntil([&] { return w.isVisible(); }, std::chrono::seconds(5)));
  w.close();
  EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace kessmar::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!std::filesystem::exists("/usr/bin/Xvfb") || !std::filesystem::exists("/usr/bin/trayer")) {
    std::fprintf(stderr, "Xvfb or trayer is not installed: the tray test cannot run\n");
    return 1;
  }
  int display = 90;
  const auto taken = [](int n) {
    return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
           std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock");
  };
  while (display < 200 && taken(display)) ++display;
  const std::string name = ":" + std::to_string(display);
  kessmar::testing::ChildProcess xvfb("/usr/bin/Xvfb",
                                      {name, "-screen", "0", "800x600x24", "-nolisten", "tcp"});
  if (!kessmar::testing::WaitFor(
          [&] { return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)); },
          std::chrono::seconds(10))) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  setenv("DISPLAY", name.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  kessmar::testing::ChildProcess trayer("/usr/bin/trayer", {"--edge", "top", "--align", "right"},
                                        {{"DISPLAY", name}});
  int result = 0;
  {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    result = RUN_ALL_TESTS();
  }
  // A terminated X server removes its socket and lock files; a killed one would leave them.
  trayer.Signal(SIGTERM);
  trayer.Wait(std::chrono::seconds(5));
  xvfb.Signal(SIGTERM);
  xvfb.Wait(std::chrono::seconds(5));
  return result;
}
