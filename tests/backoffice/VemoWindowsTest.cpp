// The transfer's windows, and the whole road through the real tool: an emulated scanner, the
// main window with the real scanner library on action "Stuur naar Vemo", and a real back-office
// server that ends up holding the order lines.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <set>

#include "backoffice/TfrmArtkNotFound.h"
#include "backoffice/TfrmUpdateVemoMain.h"
#include "backoffice/TransferTestData.h"
#include "scanner/ScannerLibrary.h"
#include "support/BackOfficeServer.h"
#include "support/EmulatedScanner.h"
#include "support/MainWindowFixture.h"
#include "support/RunEventsUntil.h"
#include "support/ToolWithEmulatedScanner.h"

namespace kessmar::testing {
namespace {

using std::chrono::seconds;

TEST(VemoWindowsTest, TheStatusAndReportWindows) {
  TfrmUpdateVemoMain status;
  EXPECT_EQ(status.windowTitle().toStdString(), "Artikelen overzetten naar Vemo");
  EXPECT_EQ(status.Label1->text().toStdString(), "Status :");
  EXPECT_EQ(status.Label2->text().toStdString(), "Zoeken naar Vemo server.......................");
  EXPECT_FALSE(status.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(status.minimumSize(), status.maximumSize());
  EXPECT_FALSE(status.Orders().InBatch());

  TfrmArtkNotFound report;
  EXPECT_EQ(report.windowTitle().toStdString(), "Niet gevonden artikelen");
  EXPECT_EQ(report.size(), QSize(342, 293));
  EXPECT_EQ(report.Button1->text().toStdString(), "Sluiten");
  EXPECT_EQ(report.LineCount(), 0);
  report.AddLine("12345678 x 3");
  report.AddLine("5901234123457 x 1");
  EXPECT_EQ(report.LineCount(), 2);
  EXPECT_TRUE(report.memArtkNotFound->isReadOnly());

  // The list can be selected and copied, not changed; "Sluiten" closes the window.
  QTimer::singleShot(0, [&] {
    QApplication::clipboard()->clear();
    QTest::keyClick(report.memArtkNotFound, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(report.memArtkNotFound, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClicks(report.memArtkNotFound, "typed");
    QTest::keyClick(report.memArtkNotFound, Qt::Key_Delete);
    QTest::mouseClick(report.Button1, Qt::LeftButton);
  });
  EXPECT_EQ(report.exec(), QDialog::Accepted);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "12345678 x 3\n5901234123457 x 1");
  EXPECT_EQ(report.memArtkNotFound->toPlainText().toStdString(), "12345678 x 3\n5901234123457 x 1");
}

// Answers the report window whenever it is open: keeps its text and presses "Sluiten".
class ReportAnswerer {
 public:
  ReportAnswerer() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* report = qobject_cast<TfrmArtkNotFound*>(QApplication::activeModalWidget())) {
        texts.push_back(report->memArtkNotFound->toPlainText().toStdString());
        report->Button1->click();
      }
    });
    timer_.start();
  }
  std::vector<std::string> texts;

 private:
  QTimer timer_;
};

class VemoEndToEndTest : public ToolWithEmulatedScanner {
 protected:
  BackOfficeServer& server = BackOfficeServer::Shared();

  void SetUp() override {
    ToolWithEmulatedScanner::SetUp();
    server.UseDatabase(server.CreateDatabase());
    InsertCurrencies(server);
    InsertArticle(server, {1, "12345678", {"1", "1", "1", "1", "1", "157.24", "1"}});
    server.Exec(R"(INSERT INTO "DATA"."arvp" VALUES ('8712345678906', 1, 6))");
  }

  std::vector<SqlRow> Lines() {
    return server.Query(R"SQL(SELECT "BEST_nummer", "ARTK_fullcod", "BEST_aantal", "BEST_prijs",
                                     "BERG_totaal" FROM "SYSTEM"."BERG" ORDER BY "BERG_nummer")SQL");
  }
};

TEST_F(VemoEndToEndTest, ScansFromTheScannerBecomeOrderLinesInTheBackOffice) {
  // The server is found on the network; the address that worked is remembered.
  auto responder = server.Announce();
  WriteFile(IniPath(), "[SYSTEM]\r\nACTIE=2\r\n");
  auto scanner = Scanner({"--scan", "8712345678906", "--scan", "12345678", "--scan",
                          "8712345678906", "--scan", "5901234123457"});
  ReportAnswerer report;
  TfrmMain& w = Start(true, &library);
  ASSERT_TRUE(RunEventsUntil([&] { return scanner->StoredCount() == 0; }, seconds(20)));

  EXPECT_EQ(Lines(),
            (std::vector<SqlRow>{{"1000001", "1.23.45.67-8", "12", "157.2400", "1886.8800"},
                                 {"1000001", "1.23.45.67-8", "1", "157.2400", "157.2400"}}));
  EXPECT_EQ(server.QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")"), "2044.1200");
  EXPECT_EQ(report.texts, std::vector<std::string>{"5901234123457 x 1"});
  EXPECT_EQ(w.VemoServer, server.ServerAddress());
  EXPECT_EQ(Ini().ReadText("VEMOSERVER", ""), server.ServerAddress());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(VemoEndToEndTest, AServerThatIsDownIsToldOnceAndTheScansWaitForIt) {
  WriteFile(IniPath(), "[SYSTEM]\r\nACTIE=2\r\nVEMOSERVER=" + server.ServerAddress() + "\r\n");
  server.Exec("CHECKPOINT");  // the test server commits lazily; an immediate stop would lose it
  server.Stop();
  auto scanner = Scanner({"--scan", "12345678", "--scan", "12345678"});
  ReportAnswerer report;
  Start(true, &library);
  ASSERT_TRUE(RunEventsUntil([&] { return !messages.shown.empty(); }, seconds(30)));
  EXPECT_NE(
      messages.shown[0].find("De Vemo server " + server.ServerAddress() + " is niet bereikbaar."),
      std::string::npos)
      << messages.shown[0];
  EXPECT_NE(messages.shown[0].find("Er is niets in Vemo vastgelegd"), std::string::npos);
  // Ticks go on every 3 s; the unchanged scans wait for their pause, and nothing is said again.
  RunEventsUntil([] { return false; }, std::chrono::milliseconds(6500));
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(scanner->StoredCount(), 2);

  // The server is back and the pause over: the batch lands once and the scanner is cleared.
  server.Start();
  monotonic += seconds(30);
  now += seconds(30);
  ASSERT_TRUE(RunEventsUntil([&] { return scanner->StoredCount() == 0; }, seconds(20)));
  EXPECT_EQ(Lines(),
            (std::vector<SqlRow>{{"1000001", "1.23.45.67-8", "2", "157.2400", "314.4800"}}));
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(report.texts.empty());
  // The unchanged scans stayed the batch of the first read: the record holds its batch id, so a
  // first run that had landed after all would have been recognised.
  std::set<std::string> batchIds;
  for (const auto& file : std::filesystem::directory_iterator(DataPath())) {
    if (file.path().extension() != ".dat" || file.path().filename() == "last_read.dat") continue;
    MemTable history;
    history.LoadBatchFile(file.path());
    history.Open();
    history.First();
    history.Next();
    batchIds.insert(history.AsText("Barcode"));
  }
  ASSERT_EQ(batchIds.size(), 1u);
  EXPECT_EQ(server.QueryValue(R"(SELECT batch_id FROM "SYSTEM".kessmar_batches)"),
            *batchIds.begin());
}

TEST_F(VemoEndToEndTest, OpnieuwVerwerkenOfABatchInVemoAsksBeforeAddingItAgain) {
  WriteFile(IniPath(), "[SYSTEM]\r\nACTIE=2\r\nVEMOSERVER=" + server.ServerAddress() + "\r\n");
  auto scanner = Scanner({"--scan", "12345678", "--scan", "12345678"});
  ReportAnswerer report;
  TfrmMain& w = Start(true, &library);
  ASSERT_TRUE(RunEventsUntil([&] { return scanner->StoredCount() == 0; }, seconds(20)));
  ASSERT_EQ(Lines().size(), 1u);

  // "Nee": the batch stays as it is in Vemo.
  messages.confirmAnswer = false;
  QTest::mouseClick(w.btnRedo, Qt::LeftButton);
  ASSERT_EQ(messages.asked.size(), 1u);
  EXPECT_NE(messages.asked[0].find("staat in Vemo order 1000001 met 1 regel."), std::string::npos)
      << messages.asked[0];
  EXPECT_NE(messages.asked[0].find("nogmaals aan Vemo toevoegen?"), std::string::npos);
  EXPECT_EQ(Lines().size(), 1u);

  // "Ja": added once more, on purpose.
  messages.confirmAnswer = true;
  QTest::mouseClick(w.btnRedo, Qt::LeftButton);
  EXPECT_EQ(messages.asked.size(), 2u);
  EXPECT_EQ(Lines(),
            (std::vector<SqlRow>{{"1000001", "1.23.45.67-8", "2", "157.2400", "314.4800"},
                                 {"1000001", "1.23.45.67-8", "2", "157.2400", "314.4800"}}));
  EXPECT_EQ(server.QueryValue(R"(SELECT max(copy) FROM "SYSTEM".kessmar_batches)"), "2");
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace kessmar::testing
