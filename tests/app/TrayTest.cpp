// The tray icon in a real notification area: an X server (Xvfb) with the trayer tray host,
// started by this test program itself before Qt connects to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <filesystem>

#include "about/TfrmAbout.h"
#include "app/Application.h"
#include "backoffice/TfrmArtkNotFound.h"
#include "backoffice/TfrmUpdateVemoMain.h"
#include "support/ChildProcess.h"
#include "support/MainWindowFixture.h"
#include "support/RunEventsUntil.h"
#include "support/ScopedEnvironment.h"
#include "update/TfrmUpdate.h"

namespace kessmar::testing {

// The tray host of the test's X server; tests stop and start it.
std::unique_ptr<ChildProcess> tray;

void StartTray() {
  tray = std::make_unique<ChildProcess>(
      "/usr/bin/trayer", std::vector<std::string>{"--edge", "top", "--align", "right"});
}

void StopTray() {
  tray->Signal(SIGTERM);
  tray->Wait(std::chrono::seconds(5));
  tray.reset();
}

namespace {

using TrayTest = MainWindowFixture;

// The title the window manager reads: the window's _NET_WM_NAME property.
std::string WindowManagerTitle(const QWidget& window) {
  ChildProcess xprop("/usr/bin/xprop", {"-id", std::to_string(window.winId()), "_NET_WM_NAME"});
  const auto line = xprop.ReadLine(std::chrono::seconds(5));
  if (!line) return "(no answer from xprop)";
  const auto open = line->find('"');
  const auto close = line->rfind('"');
  if (open == std::string::npos || close == open) return *line;
  return line->substr(open + 1, close - open - 1);
}

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
  // A tray that sends one activation, as those of the D-Bus protocol do.
  w.RxTrayIcon1->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(RunEventsUntil([&] { return w.isVisible(); }, std::chrono::seconds(5)));
  w.close();
}

TEST_F(TrayTest, ATrayThatComesUpAfterStartTakesTheToolIn) {
  StopTray();
  ASSERT_TRUE(RunEventsUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); },
                             std::chrono::seconds(10)));
  realTrayProbe = true;
  TfrmMain& w = Start(false);
  EXPECT_TRUE(w.isVisible());  // the only way in for now
  EXPECT_FALSE(w.TrayAvailable());
  EXPECT_FALSE(w.windowFlags().testFlag(Qt::Tool));
  StartTray();
  ASSERT_TRUE(RunEventsUntil([&] { return w.TrayAvailable(); }, std::chrono::seconds(15)));
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::Tool));  // off the taskbar from now on
  EXPECT_FALSE(w.isVisible());                      // in the tray, as after a start there
  EXPECT_TRUE(
      RunEventsUntil([&] { return w.RxTrayIcon1->geometry().isValid(); }, std::chrono::seconds(5)));
  w.RxTrayIcon1->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(RunEventsUntil([&] { return w.isVisible(); }, std::chrono::seconds(5)));
  w.close();
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.Closing);
}

TEST_F(TrayTest, TheWindowManagerSeesEveryTitleExactlyAsTheWindowsSetIt) {
  TfrmMain& w = Start(true);
  TfrmAbout about;
  TfrmUpdate update(messages, shell);
  TfrmUpdateVemoMain vemoStatus;
  TfrmArtkNotFound notFound;
  const std::vector<std::pair<QWidget*, std::string>> windows = {
      {&w, "Kessmar Scanner Tool voor OPN-2001"},
      {actie.get(), "Actie"},
      {history.get(), "Geschiedenis"},
      {&about, "Over Kessmar Barcode Tool"},
      {&update, "Kessmar Scanner Tool updater"},
      {&vemoStatus, "Artikelen overzetten naar Vemo"},
      {&notFound, "Niet gevonden artikelen"}};
  for (const auto& [window, title] : windows) {
    window->show();
    ASSERT_TRUE(RunEventsUntil([&] { return window->isVisible(); }, std::chrono::seconds(5)));
    EXPECT_EQ(WindowManagerTitle(*window), title);
    window->hide();
  }
}

}  // namespace
}  // namespace kessmar::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!std::filesystem::exists("/usr/bin/Xvfb") || !std::filesystem::exists("/usr/bin/trayer") ||
      !std::filesystem::exists("/usr/bin/xprop")) {
    std::fprintf(stderr, "Xvfb, trayer or xprop is not installed: the tray test cannot run\n");
    return 1;
  }
  // The server picks a free display itself and names it on its standard output, so test
  // processes that start at the same moment never share one.
  kessmar::testing::ChildProcess xvfb(
      "/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
  const auto display = xvfb.ReadLine(std::chrono::seconds(10));
  if (!display || display->empty()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  const std::string name = ":" + *display;
  kessmar::testing::ScopedEnvironment onXvfb{{"DISPLAY", name}, {"QT_QPA_PLATFORM", "xcb"}};
  kessmar::testing::StartTray();
  int result = 0;
  {
    QApplication app(argc, argv);
    kessmar::ConfigureApplication();  // as the program sets itself up
    result = RUN_ALL_TESTS();
  }
  // A terminated X server removes its socket and lock files; a killed one would leave them.
  if (kessmar::testing::tray) kessmar::testing::StopTray();
  xvfb.Signal(SIGTERM);
  xvfb.Wait(std::chrono::seconds(5));
  return result;
}
