// What the diagnostics log says about a read, a failed save and a failed processing run.
#include "platform/qt/Diagnostics.h"
#include "support/MainWindowFixture.h"

namespace kessmar::testing {
namespace {

using DiagnosticsLogTest = MainWindowFixture;

constexpr const char* kScannerPort = "COM5: = OPTICON OPN-2001 (COM5)";

TEST_F(DiagnosticsLogTest, ReadsSavesAndFailuresLeaveTheirLinesWithoutBarcodes) {
  const auto logFile = dir / "kessmar-scanner-tool.log";
  platform::DiagnosticsLog log(logFile);
  ports = {kScannerPort};
  scanner.scans = {"8712345678906", "4006381333931", "8712345678906"};
  TfrmMain& w = Start();
  Tick();
  ASSERT_EQ(scanner.clears, 1);
  std::string text = ReadFile(logFile);
  for (const char* line :
       {"info kessmar.scanner: Batch read with 3 scans", "info kessmar.batch: Batch saved as",
        "info kessmar.actions: Batch handed on by action 1 (Stuur naar Kessmar Website)",
        "info kessmar.scanner: Scanner cleared",
        "info kessmar.scanner: Connected to the scanner"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }

  // A save that fails: a folder stands where the batch file goes.
  std::filesystem::remove(DataPath() / "last_read.dat");
  std::filesystem::create_directories(DataPath() / "last_read.dat");
  scanner.scans = {"5901234123457"};
  Tick();
  text = ReadFile(logFile);
  EXPECT_NE(text.find("warning kessmar.batch: The batch could not be saved: Cannot create file"),
            std::string::npos)
      << text;
  EXPECT_EQ(scanner.clears, 1);

  // A processing run that fails: no browser takes the page.
  std::filesystem::remove(DataPath() / "last_read.dat");
  shell.opens = false;
  w.btnRedo->click();
  text = ReadFile(logFile);
  EXPECT_NE(text.find("warning kessmar.actions: The processing run failed: De bestelpagina kon "
                      "niet in een browser worden geopend"),
            std::string::npos)
      << text;
  for (const char* barcode : {"8712345678906", "4006381333931", "5901234123457"}) {
    EXPECT_EQ(text.find(barcode), std::string::npos) << barcode;
  }
}

TEST_F(DiagnosticsLogTest, TheFileKeepsItsSizeAndOneOlderPart) {
  const auto logFile = dir / "small.log";
  {
    platform::DiagnosticsLog log(logFile, 1000);
    for (int i = 0; i < 100; ++i) qCInfo(lcApp) << "line" << i;
  }
  EXPECT_LE(std::filesystem::file_size(logFile), 1000u);
  EXPECT_LE(std::filesystem::file_size(dir / "small.log.1"), 1000u);
  EXPECT_NE(ReadFile(logFile).find("line 99"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "small.log.2"));
}

}  // namespace
}  // namespace kessmar::testing
