// The main window with the real scanner library, talking to the emulated scanner on a real
// pseudo-terminal registered in the test's own ports directory. Timers run for real.
#include "batch/MemTable.h"
#include "platform/qt/QtShellOpen.h"
#include "support/EmulatedScanner.h"
#include "support/MainWindowFixture.h"
#include "support/RunEventsUntil.h"
#include "support/ToolWithEmulatedScanner.h"

namespace kessmar::testing {
namespace {

using ScannerEndToEndTest = ToolWithEmulatedScanner;

TEST_F(ScannerEndToEndTest, FirstStartReadsSavesPostsAndClearsTheScanner) {
  auto scanner =
      Scanner({"--scan", "8712345678906", "--scan", "4006381333931", "--scan", "8712345678906"});
  const auto started = std::chrono::steady_clock::now();
  TfrmMain& w = StartTool();
  ASSERT_TRUE(RunEventsUntil([&] { return w.Link().Connected && !shell.opened.empty(); },
                             std::chrono::seconds(10)));
  const auto elapsed = std::chrono::steady_clock::now() - started;
  RecordProperty(
      "connect_and_read_ms",
      std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));

  EXPECT_EQ(Ini().ReadText("COMPORT", ""), scanner->com());
  EXPECT_EQ(Status(), "Verbonden");
  EXPECT_EQ(ScannerId(), "A1B2C3D4E5F");
  EXPECT_EQ(w.tblScannerData.RowCount(), 5);
  ASSERT_TRUE(RunEventsUntil([&] { return scanner->StoredCount() == 0; }, std::chrono::seconds(5)));

  const auto history = HistoryFiles();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(ReadFile(history[0]), ReadFile(DataPath() / "last_read.dat"));
  MemTable saved;
  saved.LoadBatchFile(DataPath() / "last_read.dat");
  ASSERT_EQ(saved.RowCount(), 5);
  saved.First();
  EXPECT_EQ(saved.AsText("Barcode"), "A1B2C3D4E5F");
  saved.Next();
  saved.Next();
  EXPECT_EQ(saved.AsText("Barcode"), "8712345678906");
  EXPECT_EQ(saved.AsInteger("Aantal"), 1);
  EXPECT_FALSE(saved.AsText("DateTime").empty());
  const std::string page = ReadFile(DataPath() / "kessmar.html");
  EXPECT_NE(page.find("name=\"_b_count\" value=\"2\""), std::string::npos);  // merged
  EXPECT_NE(page.find("name=\"_b_num[0]\" value=\"2\""), std::string::npos);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ScannerEndToEndTest, KilledScannerReadsAsNotConnectedWithinOneTick) {
  auto scanner = Scanner({});
  TfrmMain& w = StartTool();
  ASSERT_TRUE(RunEventsUntil([&] { return w.Link().Connected; }, std::chrono::seconds(10)));
  scanner->process().Signal(SIGKILL);
  scanner->process().Wait(std::chrono::seconds(5));
  EXPECT_TRUE(RunEventsUntil([&] { return !w.Link().Connected; }, std::chrono::milliseconds(4500)));
  EXPECT_EQ(Status(), "Niet verbonden");
  EXPECT_EQ(ScannerId(), "");
  EXPECT_EQ(w.Link().ConnectedPort, -1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ScannerEndToEndTest, WithoutABrowserTheScansStayAndTheUserIsToldOnce) {
  auto scanner = Scanner({"--scan", "A1", "--scan", "B2", "--scan", "C3"});
  // A desktop with no program to open the page: no opener on the search path.
  std::filesystem::create_directories(dir / "empty-bin");
  QtShellOpen desktop;
  ScopedEnvironment noOpener;
  noOpener.Set("PATH", (dir / "empty-bin").string());
  TfrmMain& w = Start(true, &library, &desktop);
  const bool told =
      RunEventsUntil([&] { return !messages.shown.empty(); }, std::chrono::seconds(10));
  // Ticks go on every 3 s; the same scans are not handed on again meanwhile.
  RunEventsUntil([] { return false; }, std::chrono::milliseconds(6500));
  noOpener.Restore();
  ASSERT_TRUE(told);
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find((DataPath() / "kessmar.html").string()), std::string::npos);
  EXPECT_EQ(HistoryFiles().size(), 1u);
  EXPECT_EQ(scanner->StoredCount(), 3);
  EXPECT_TRUE(std::filesystem::exists(DataPath() / "kessmar.html"));

  // The pause over, with the page still not openable: tried again, but not told again.
  monotonic += std::chrono::seconds(30);
  now += std::chrono::seconds(30);
  noOpener.Set("PATH", (dir / "empty-bin").string());
  EXPECT_TRUE(RunEventsUntil([&] { return HistoryFiles().size() == 2; }, std::chrono::seconds(5)));
  noOpener.Restore();
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(scanner->StoredCount(), 3);
}

TEST_F(ScannerEndToEndTest, ManualConnectAndDisconnect) {
  auto scanner = Scanner({"--scan", "X"});
  WriteFile(IniPath(), "[SYSTEM]\r\nAUTO=0\r\nACTIE=1\r\n");
  TfrmMain& w = StartTool();
  ASSERT_TRUE(RunEventsUntil([&] { return w.cmbCOMPORTS->count() == 1; }, std::chrono::seconds(5)));
  EXPECT_FALSE(w.Link().Connected);
  w.cmbCOMPORTS->setCurrentIndex(0);
  w.btnConnect->click();
  EXPECT_TRUE(w.Link().Connected);
  EXPECT_EQ(w.btnConnect->text().toStdString(), "Verbreken");
  EXPECT_EQ(Status(), "Verbonden");
  EXPECT_TRUE(RunEventsUntil([&] { return scanner->StoredCount() == 0; }, std::chrono::seconds(5)));

  w.btnConnect->click();
  EXPECT_FALSE(w.Link().Connected);
  EXPECT_EQ(w.btnConnect->text().toStdString(), "Verbinden");
  EXPECT_EQ(Status(), "Niet verbonden");
}

TEST_F(ScannerEndToEndTest, WithTwoScannersTheFirstListedIsUsed) {
  auto first = Scanner({"--com", "3", "--scan", "FIRST"});
  auto second = Scanner({"--com", "4", "--scan", "SECOND"});
  auto other = Scanner({"--com", "2", "--name", "USB Modem"});
  TfrmMain& w = StartTool();
  ASSERT_TRUE(RunEventsUntil([&] { return w.Link().Connected; }, std::chrono::seconds(10)));
  EXPECT_EQ(w.Link().ConnectedPort, 3);
  EXPECT_TRUE(RunEventsUntil([&] { return first->StoredCount() == 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(second->StoredCount(), 1);
  ASSERT_EQ(w.cmbCOMPORTS->count(), 3);
  EXPECT_EQ(w.cmbCOMPORTS->itemText(0).toStdString(), "COM2");
  EXPECT_EQ(w.cmbCOMPORTS->itemText(1).toStdString(), "COM3 (Scanner)");
}

TEST_F(ScannerEndToEndTest, GarbledOrCutOffRepliesNeverGiveAPartialBatch) {
  for (const char* mode : {"garble", "cutoff"}) {
    SCOPED_TRACE(mode);
    auto scanner = Scanner({"--scan", "GOOD1", "--scan", "GOOD2"});
    TfrmMain& w = StartTool();
    ASSERT_TRUE(RunEventsUntil([&] { return w.Link().Connected && scanner->StoredCount() == 0; },
                               std::chrono::seconds(10)));
    const size_t pagesBefore = shell.opened.size();
    std::filesystem::remove(DataPath() / "last_read.dat");

    scanner->Control("add BAD1");
    scanner->Control("add BAD2");
    scanner->Control(std::string("misbehave ") + mode);
    RunEventsUntil([] { return false; }, std::chrono::milliseconds(3500));  // at least one tick
    EXPECT_FALSE(std::filesystem::exists(DataPath() / "last_read.dat"));
    EXPECT_EQ(shell.opened.size(), pagesBefore);

    scanner->Control("misbehave none");
    EXPECT_TRUE(
        RunEventsUntil([&] { return scanner->StoredCount() == 0; }, std::chrono::seconds(8)));
    MemTable saved;
    saved.LoadBatchFile(DataPath() / "last_read.dat");
    EXPECT_EQ(saved.RowCount(), 4);
    main.reset();
    std::filesystem::remove_all(DataPath());
    shell.opened.clear();
  }
}

}  // namespace
}  // namespace kessmar::testing
