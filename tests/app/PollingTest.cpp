// The poll tick, automatic and manual connection, against a scripted scanner library.
#include "scanner/BatchRead.h"
#include "support/MainWindowFixture.h"

namespace kessmar::testing {
namespace {

using PollingTest = MainWindowFixture;

constexpr const char* kScannerPort = "COM5: = OPTICON OPN-2001 (COM5)";

TEST_F(PollingTest, FirstStartWithTheScannerPluggedInReadsAndClearsIt) {
  ports = {"COM1: = Communications Port (COM1)", kScannerPort};
  scanner.scans = {"8712345678906", "4006381333931", "8712345678906"};
  TfrmMain& w = Start();
  ASSERT_EQ(w.cmbCOMPORTS->count(), 2);
  EXPECT_EQ(w.cmbCOMPORTS->EditText().toStdString(), "COM5 (Scanner)");

  Tick();
  EXPECT_EQ(scanner.initPorts, std::vector<int32_t>{5});
  EXPECT_EQ(Ini().ReadText("COMPORT", ""), "COM5");
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(w.Link().ConnectedPort, 5);
  EXPECT_EQ(Status(), "Verbonden");
  EXPECT_EQ(ScannerId(), "A1B2C3D4E5F");
  EXPECT_EQ(w.tmrCheckScanner->interval(), 3000);
  EXPECT_TRUE(w.tmrCheckScanner->isActive());

  // Read right after the connect, processed as a web order page, then cleared; the presence
  // test's second read finds nothing.
  EXPECT_EQ(scanner.clears, 1);
  EXPECT_EQ(scanner.reads, 2);
  EXPECT_EQ(w.tblScannerData.RowCount(), 5);
  EXPECT_TRUE(std::filesystem::exists(DataPath() / "last_read.dat"));
  EXPECT_TRUE(std::filesystem::exists(DataPath() / "kessmar.html"));
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], DataPath() / "kessmar.html");
  EXPECT_TRUE(messages.shown.empty());

  // Linked: later ticks make no new connect.
  Tick();
  EXPECT_EQ(scanner.initPorts.size(), 1u);
}

TEST_F(PollingTest, PulledOutScannerResetsTheStatusWithinOneTickWithoutAMessage) {
  ports = {kScannerPort};
  TfrmMain& w = Start();
  Tick();
  ASSERT_TRUE(w.Link().Connected);
  scanner.present = false;
  Tick();
  EXPECT_FALSE(w.Link().Connected);
  EXPECT_EQ(Status(), "Niet verbonden");
  EXPECT_EQ(ScannerId(), "");
  EXPECT_EQ(w.Link().ConnectedPort, -1);
  EXPECT_GE(scanner.restores, 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PollingTest, ASilentScannerAsksToReplugItOnEverySecondAttempt) {
  ports = {kScannerPort};
  scanner.present = false;
  TfrmMain& w = Start();
  Tick();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(w.Link().ConnectAttempts, 1);
  Tick();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "Verwijder a.u.b. de scanner en sluit hem opnieuw aan.");
  EXPECT_FALSE(w.Link().Connected);
  EXPECT_EQ(w.Link().ConnectAttempts, 0);
  EXPECT_GE(scanner.restores, 1);
  Tick();
  Tick();
  EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(PollingTest, InitFailureSkipsTheTickAndTheNextTickTriesAgain) {
  ports = {kScannerPort};
  scanner.initResult = -1;
  TfrmMain& w = Start();
  Tick();
  EXPECT_FALSE(w.Link().Connected);
  EXPECT_TRUE(w.tmrCheckScanner->isActive());
  scanner.initResult = 0;
  Tick();
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(scanner.initPorts, (std::vector<int32_t>{5, 5}));
}

TEST_F(PollingTest, OnlyTheFirstListedScannerIsUsed) {
  ports = {"COM7: = OPTICON OPN-2001 (COM7)", "COM4: = OPTICON OPN-2001 (COM4)",
           "COMx: = OPTICON broken"};
  TfrmMain& w = Start();
  Tick();
  EXPECT_EQ(scanner.initPorts, std::vector<int32_t>{7});
  EXPECT_EQ(w.Link().ConnectedPort, 7);
}

TEST_F(PollingTest, AFailedRunKeepsTheScansAndRetriesUnchangedScansAfterAGrowingPause) {
  ports = {kScannerPort};
  scanner.scans = {"A", "B", "C"};
  shell.opens = false;  // no browser: every run fails
  TfrmMain& w = Start();
  const auto attempts = [&] { return shell.opened.size(); };
  Tick();
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(attempts(), 1u);
  EXPECT_EQ(scanner.clears, 0);
  EXPECT_EQ(scanner.scans.size(), 3u);
  EXPECT_TRUE(std::filesystem::exists(DataPath() / "last_read.dat"));
  ASSERT_EQ(messages.shown.size(), 1u);  // told once, with the page to open by hand
  EXPECT_NE(messages.shown[0].find((DataPath() / "kessmar.html").string()), std::string::npos);

  // Unchanged scans wait 30 s, then 60 s, each retry telling nothing new.
  for (int i = 0; i < 5; ++i) Tick();
  EXPECT_EQ(attempts(), 1u);
  monotonic += std::chrono::seconds(29);
  Tick();
  EXPECT_EQ(attempts(), 1u);
  monotonic += std::chrono::seconds(1);
  Tick();
  EXPECT_EQ(attempts(), 2u);
  monotonic += std::chrono::seconds(59);
  Tick();
  EXPECT_EQ(attempts(), 2u);
  monotonic += std::chrono::seconds(1);
  Tick();
  EXPECT_EQ(attempts(), 3u);
  EXPECT_EQ(w.Retry().Pause(), std::chrono::seconds(120));
  EXPECT_EQ(messages.shown.size(), 1u);
  for (int i = 0; i < 10; ++i) {
    monotonic += std::chrono::minutes(15);
    Tick();
  }
  EXPECT_EQ(w.Retry().Pause(), std::chrono::minutes(15));

  // New content is tried at once (and told about once more); so is a scanner connected again.
  scanner.scans.push_back("D");
  Tick();
  EXPECT_EQ(attempts(), 14u);
  EXPECT_EQ(messages.shown.size(), 2u);
  scanner.present = false;
  Tick();
  EXPECT_FALSE(w.Link().Connected);
  scanner.present = true;
  Tick();
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(attempts(), 15u);

  // A browser at last: handed on, the scanner cleared.
  shell.opens = true;
  monotonic += std::chrono::seconds(30);
  Tick();
  EXPECT_EQ(attempts(), 16u);
  EXPECT_EQ(scanner.clears, 1);
  EXPECT_TRUE(scanner.scans.empty());
  EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(PollingTest, OpnieuwVerwerkenRetriesAtOnceAndNeverHandsTheScansOnTwice) {
  ports = {kScannerPort};
  scanner.scans = {"A", "B"};
  shell.opens = false;
  TfrmMain& w = Start();
  Tick();
  ASSERT_EQ(shell.opened.size(), 1u);
  shell.opens = true;
  w.btnRedo->click();  // the user's run: no pause, and the same batch is handed on
  EXPECT_EQ(shell.opened.size(), 2u);
  EXPECT_EQ(scanner.clears, 0);  // never cleared from the button itself
  Tick();                        // the next read finds exactly those scans: cleared, not resent
  EXPECT_EQ(shell.opened.size(), 2u);
  EXPECT_EQ(scanner.clears, 1);
  EXPECT_TRUE(scanner.scans.empty());
}

TEST_F(PollingTest, TheBatchIdCarriesTheMomentTheReadEnded) {
  ports = {kScannerPort};
  scanner.scans = {"A", "B"};
  TfrmMain& w = Start();
  // The clock moves on while the scans are fetched: a minute per packet.
  scanner.onPacket = [&] { now += std::chrono::minutes(1); };
  Tick();
  w.tblScannerData.First();
  w.tblScannerData.Next();
  EXPECT_EQ(w.tblScannerData.AsText("Barcode"), "A1B2C3D4E5F" + FormatBatchTime(LocalTime(now)));
}

TEST_F(PollingTest, AReadThatFailsPartWayTakesNothing) {
  ports = {kScannerPort};
  TfrmMain& w = Start();
  Tick();
  ASSERT_TRUE(w.Link().Connected);
  scanner.scans = {"A", "B", "C"};
  scanner.failPacketAt = 1;
  Tick();
  EXPECT_EQ(w.tblScannerData.RowCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(DataPath() / "last_read.dat"));
  EXPECT_EQ(scanner.clears, 0);
  EXPECT_EQ(scanner.scans.size(), 3u);
}

TEST_F(PollingTest, ManualConnectAndDisconnectWithTheButton) {
  ports = {"COM1: = Communications Port (COM1)", kScannerPort};
  TfrmMain& w = Start();
  w.chkAuto->click();  // manual mode
  EXPECT_TRUE(w.btnConnect->isEnabled());
  EXPECT_EQ(Ini().ReadInteger("AUTO", 9), 0);

  w.cmbCOMPORTS->setCurrentIndex(1);
  w.btnConnect->click();
  EXPECT_EQ(scanner.initPorts, std::vector<int32_t>{5});
  EXPECT_EQ(w.btnConnect->text().toStdString(), "Verbreken");
  EXPECT_EQ(Status(), "Verbonden");
  EXPECT_EQ(ScannerId(), "A1B2C3D4E5F");
  EXPECT_TRUE(Ini().ReadBool("CONNECT", false));

  w.btnConnect->click();  // the same port again: disconnect
  EXPECT_EQ(w.btnConnect->text().toStdString(), "Verbinden");
  EXPECT_EQ(Status(), "Niet verbonden");
  EXPECT_EQ(ScannerId(), "");
  EXPECT_EQ(w.Link().ConnectedPort, -1);
  EXPECT_FALSE(Ini().ReadBool("CONNECT", true));
  EXPECT_TRUE(w.tmrCheckScanner->isActive());

  // A typed name that matches no entry only resets the display.
  w.cmbCOMPORTS->SetEditText("COM99");
  w.btnConnect->click();
  EXPECT_EQ(scanner.initPorts.size(), 1u);
  EXPECT_EQ(w.cmbCOMPORTS->EditText().toStdString(), "");

  // No scanner on the port.
  scanner.present = false;
  w.cmbCOMPORTS->setCurrentIndex(0);
  w.btnConnect->click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "Geen scanner gedetecteerd !");
  EXPECT_EQ(w.Link().ConnectedPort, -1);
}

TEST_F(PollingTest, StoredConnectConnectsOnTheFirstTickWithoutRewritingIt) {
  ports = {kScannerPort};
  WriteFile(IniPath(), "[SYSTEM]\r\nAUTO=0\r\nCONNECT=1\r\nCOMPORT=COM5\r\n");
  TfrmMain& w = Start();
  const std::string before = ReadFile(IniPath());
  Tick();
  EXPECT_EQ(scanner.initPorts, std::vector<int32_t>{5});
  EXPECT_FALSE(w.ConnectAtStart);
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(ReadFile(IniPath()), before);  // values rewritten unchanged, CONNECT untouched
  EXPECT_EQ(w.btnConnect->text().toStdString(), "Verbreken");
}

TEST_F(PollingTest, SwitchingToAutomaticWhileConnectedByHandKeepsTheLink) {
  ports = {kScannerPort};
  TfrmMain& w = Start();
  w.chkAuto->click();
  w.cmbCOMPORTS->setCurrentIndex(0);
  w.btnConnect->click();
  ASSERT_TRUE(w.Link().Connected);
  w.chkAuto->click();
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(w.tmrCheckScanner->interval(), 100);
  EXPECT_EQ(scanner.restores, 0);
}

TEST_F(PollingTest, PortListKeepsTheComboUntilTheCountChanges) {
  ports = {"COM1: = Port", "COM10: = OPTICON"};
  WriteFile(IniPath(), "[SYSTEM]\r\nCOMPORT=COM1\r\n");
  TfrmMain& w = Start();
  ASSERT_EQ(w.cmbCOMPORTS->count(), 2);
  EXPECT_EQ(w.cmbCOMPORTS->itemText(0).toStdString(), "COM1");
  EXPECT_EQ(w.cmbCOMPORTS->itemText(1).toStdString(), "COM10 (Scanner)");
  EXPECT_EQ(w.cmbCOMPORTS->EditText().toStdString(), "COM1");

  ports = {"COM2: = Port", "COM10: = OPTICON"};  // same count: combo unchanged
  w.RefreshPortList();
  EXPECT_EQ(w.cmbCOMPORTS->itemText(0).toStdString(), "COM1");

  ports = {"COM2: = Port", "COM10: = OPTICON", "COM11: = Port"};
  w.RefreshPortList();
  ASSERT_EQ(w.cmbCOMPORTS->count(), 3);
  EXPECT_EQ(w.cmbCOMPORTS->EditText().toStdString(), "COM10 (Scanner)");  // substring COM1

  ports.clear();  // nothing found: the combo keeps what it showed
  w.RefreshPortList();
  EXPECT_FALSE(w.Link().PortList.has_value());
  EXPECT_EQ(w.cmbCOMPORTS->count(), 3);
  EXPECT_EQ(ReadFile(IniPath()).find("COMPORT=COM10"), std::string::npos);  // never written
}

}  // namespace
}  // namespace kessmar::testing
