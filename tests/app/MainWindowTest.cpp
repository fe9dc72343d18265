#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>

#include "support/MainWindowFixture.h"
#include "support/RunEventsUntil.h"

namespace kessmar::testing {
namespace {

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, FirstStartWritesBackTheDefaultsAndCreatesTheDataFolder) {
  TfrmMain& w = Start();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.windowTitle().toStdString(), "Kessmar Scanner Tool voor OPN-2001");
  EXPECT_EQ(w.width(), 265);
  EXPECT_TRUE(std::filesystem::is_directory(DataPath()));
  EXPECT_EQ(w.DataFolder, DataPath().string() + "/");
  EXPECT_EQ(w.SettingsFile, IniPath().string());
  // Merging differs from the box's initial state, so reading it writes it back; AUTO is written
  // back at every start.
  EXPECT_EQ(ReadFile(IniPath()), "[SYSTEM]\r\nSAMENVOEGEN=1\r\nAUTO=1\r\n");
  EXPECT_TRUE(w.chkAuto->isChecked());
  EXPECT_TRUE(w.chkSamenvoegen->isChecked());
  EXPECT_FALSE(w.cmbCOMPORTS->isEnabled());
  EXPECT_FALSE(w.btnConnect->isEnabled());
  ASSERT_EQ(w.cmbActie->count(), 3);
  EXPECT_EQ(w.cmbActie->itemText(0).toStdString(), "Vragen");
  EXPECT_EQ(w.cmbActie->itemText(1).toStdString(), "Stuur naar Kessmar Website");
  EXPECT_EQ(w.cmbActie->itemText(2).toStdString(), "Stuur naar Vemo");
  EXPECT_EQ(w.cmbActie->currentIndex(), 1);
  EXPECT_FALSE(w.ConnectAtStart);
  EXPECT_EQ(Status(), "Niet verbonden");
  EXPECT_EQ(w.btnConnect->text().toStdString(), "Verbinden");
  EXPECT_TRUE(w.Checkvooreenupdate1->isVisible());
  EXPECT_TRUE(w.tmrCheckScanner->isActive());
  EXPECT_EQ(w.tmrCheckScanner->interval(), 100);  // automatic mode: first tick within 100 ms
  EXPECT_TRUE(w.trmCheckForUpdate->isActive());
}

TEST_F(MainWindowTest, StoredValuesAreAppliedAndOutOfRangeActionsFallBack) {
  WriteFile(IniPath(),
            "[SYSTEM]\r\nAUTO=0\r\nSAMENVOEGEN=0\r\nACTIE=0x2\r\nCONNECT=1\r\nCOMPORT=COM7\r\n"
            "VEMOSERVER=srv@127.0.0.1\r\n");
  {
    TfrmMain& w = Start();
    EXPECT_FALSE(w.chkAuto->isChecked());
    EXPECT_TRUE(w.cmbCOMPORTS->isEnabled());
    EXPECT_FALSE(w.chkSamenvoegen->isChecked());
    EXPECT_EQ(w.cmbActie->currentIndex(), 2);
    EXPECT_TRUE(w.ConnectAtStart);
    EXPECT_EQ(w.Link().ComPort, "COM7");
    EXPECT_EQ(w.VemoServer, "srv@127.0.0.1");
    EXPECT_EQ(w.VemoServerAtStart, "srv@127.0.0.1");
    EXPECT_EQ(w.tmrCheckScanner->interval(), 10);  // manual mode
  }
  for (const char* stored : {"7", "-1", "abc"}) {
    Ini().WriteText("ACTIE", stored);
    main.reset();
    EXPECT_EQ(Start().cmbActie->currentIndex(), 1) << stored;
  }
}

TEST_F(MainWindowTest, CloseBoxHidesAndTrayDoubleClickShowsAgain) {
  TfrmMain& w = Start();
  w.RxTrayIcon1->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(w.isVisible());
  w.chkSamenvoegen->setChecked(false);
  w.close();
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.Closing);
  // Trays that speak the D-Bus protocol send a single activation: it opens the window too.
  w.RxTrayIcon1->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(w.isVisible());
  w.close();
  w.RxTrayIcon1->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(w.chkSamenvoegen->isChecked());  // state unchanged by hiding and showing
  ASSERT_EQ(w.RxTrayIcon1->contextMenu(), w.mnuPopUp);
  ASSERT_EQ(w.mnuPopUp->actions().size(), 1);
  EXPECT_EQ(w.mnuPopUp->actions()[0]->text().toStdString(), "Sluiten");
}

TEST_F(MainWindowTest, TheEditFieldsAndTheHeightAreMadeWhenTheWindowFirstShows) {
  ports = {"COM1: = Communications Port (COM1)", "COM3: = Communications Port (COM3)"};
  TfrmMain& w = Start();
  w.chkAuto->click();  // manual mode: the port box is the user's
  w.cmbCOMPORTS->setCurrentIndex(-1);
  w.cmbCOMPORTS->SetEditText("COM12");
  ports.push_back("COM4: = Communications Port (COM4)");
  Tick();  // the list is rebuilt while hidden and keeps what was typed
  ASSERT_EQ(w.cmbCOMPORTS->count(), 3);
  EXPECT_EQ(w.cmbCOMPORTS->lineEdit(), nullptr);
  EXPECT_EQ(w.cmbActie->lineEdit(), nullptr);

  const QFont appFont = QApplication::font();
  w.RxTrayIcon1->activated(QSystemTrayIcon::DoubleClick);
  ASSERT_TRUE(w.isVisible());
  EXPECT_EQ(QApplication::font(), appFont);  // other windows keep the desktop's font
  ASSERT_NE(w.cmbCOMPORTS->lineEdit(), nullptr);
  EXPECT_EQ(w.cmbCOMPORTS->lineEdit()->font(), w.font());
  EXPECT_EQ(w.cmbCOMPORTS->lineEdit()->text().toStdString(), "COM12");
  ASSERT_NE(w.cmbActie->lineEdit(), nullptr);
  EXPECT_EQ(w.cmbActie->lineEdit()->text().toStdString(), "Stuur naar Kessmar Website");
  EXPECT_EQ(w.cmbActie->lineEdit()->cursorPosition(), 0);  // the start of a long entry
  EXPECT_EQ(w.width(), 265);
  EXPECT_EQ(w.height(), 251 + w.menuBar()->height());
  EXPECT_FALSE(w.windowIcon().isNull());
  EXPECT_FALSE(w.RxTrayIcon1->icon().pixmap(22, 22).isNull());
}

TEST_F(MainWindowTest, SluitenEndsTheEventLoopAndGivesThePortBack) {
  TfrmMain& w = Start();
  w.Link().Connected = true;  // as after a poll tick that found the scanner
  QTimer::singleShot(0, [&] { w.Sluiten2->trigger(); });
  QApplication::exec();
  EXPECT_TRUE(w.Closing);
  w.close();
  EXPECT_EQ(scanner.restores, 0);
  main.reset();  // FormDestroy
  EXPECT_EQ(scanner.restores, 1);
}

TEST_F(MainWindowTest, WithoutATrayTheWindowShowsAtStartAndCloseMinimises) {
  TfrmMain& w = Start(/*trayAvailable=*/false);
  EXPECT_TRUE(w.isVisible());
  w.close();
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.isMinimized());
}

TEST_F(MainWindowTest, AtLoginTheToolWaitsForThePanelBeforeItShowsItsWindow) {
  // The panel comes up in time: the tool goes into the tray and never shows its window.
  waitForTray = std::chrono::milliseconds(2000);
  TfrmMain& first = Start(false);
  EXPECT_FALSE(first.isVisible());
  trayShows = true;
  EXPECT_TRUE(RunEventsUntil([&] { return first.TrayAvailable(); }, std::chrono::seconds(3)));
  EXPECT_FALSE(first.isVisible());

  // No panel at all: after the wait the window is the way in.
  trayShows = false;
  waitForTray = std::chrono::milliseconds(300);
  TfrmMain& second = Start(false);
  EXPECT_FALSE(second.isVisible());
  EXPECT_TRUE(RunEventsUntil([&] { return second.isVisible(); }, std::chrono::seconds(3)));
  EXPECT_FALSE(second.TrayAvailable());
}

}  // namespace
}  // namespace kessmar::testing
