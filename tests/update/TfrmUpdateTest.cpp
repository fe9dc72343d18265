// The update window on the offscreen platform against the local update server: the offer, the
// download with its progress, the completion page and the hand-over, the failures, and the main
// window's two triggers.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/stat.h>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <atomic>

#include "app/TfrmMain.h"
#include "support/RecordingMessages.h"
#include "support/ScriptedScanner.h"
#include "update/TfrmUpdate.h"
#include "update/UpdateTestSupport.h"

namespace kessmar::testing {
namespace {

class AnsweringMessages : public RecordingMessages {
 public:
  bool answer = true;
  std::vector<std::string> asked;
  bool Confirm(const std::string& text) override {
    asked.push_back(text);
    return answer;
  }
};

class UpdateWindowTest : public UpdateFixture {
 protected:
  AnsweringMessages messages;
  RecordingShell shell;
  std::unique_ptr<TfrmUpdate> window;
  int endings = 0;
  bool sawDonePage = false;
  std::string program = (app / "kessmar-scanner-tool").string();

  void SetUp() override {
    UpdateFixture::SetUp();
    WriteVersionedProgram(program, {1, 0, 0, 170});
    window = std::make_unique<TfrmUpdate>(messages, shell);
    TWebUpdate& w = window->WebUpdate;
    w.URL = server->Url("/files/download/kessmar_scanner_tool.ini");
    w.ExtraCaFile = server->CaFile().string();
    w.ProgramFile = KESSMAR_PAYLOAD_SAMPLE;  // carries the packed updater
    w.StartProcess = web.StartProcess;       // recorded in `started`
    w.TrustedKeys.clear();                   // unsigned, as a tool without keys takes them
    w.FetchProgram = web.FetchProgram;       // the helper, as beside the program
    window->EndProgram = [this] {
      ++endings;
      window->done(0);
    };
    server->Serve("/files/download/whatsnew.txt", "Nieuw\r\nRegel 2\r\n");
  }

  std::string Control(const std::string& version, const std::string& application,
                      const std::string& files) const {
    return "[update]\nnewversion=" + version + "\nlocalversion=" + program + "\n" + application +
           "[whatsnew]\nfile=" + server->Url("/files/download/whatsnew.txt") + "\n" + files;
  }
  std::string AppUpdate() const {
    return "[application]\nappupdate=1\nappname=" + program +
           "\nappcomps=kessmar-scanner-tool\nsilentrestart=0\n";
  }
  std::string OneFile(const std::string& name, int size, const std::string& more = "") const {
    return "[files]\ncount=1\n[file1]\nurl=" + server->Url("/f/" + name) +
           "\nfilesize=" + std::to_string(size) + "\n" + more;
  }

  bool On(QWidget* page) const {
    return window->isVisible() && window->pagMain->currentWidget() == page;
  }

  // Runs OfferUpdate while `step` runs every 10 ms inside its event loops; the window is closed
  // after 20 s whatever happens.
  void Offer(const std::function<void()>& step) {
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (On(window->tabDone)) sawDonePage = true;
      step();
    });
    timer.start();
    QTimer::singleShot(20000, window.get(), [this] {
      ADD_FAILURE() << "the window stayed open";
      window->done(0);
    });
    window->OfferUpdate();
  }

  // Presses "Ja" once the offer is ready. The press is queued: a timer never fires again while
  // its own handler runs, and the download runs inside the press.
  void PressYesWhenReady() {
    if (!pressedYes && On(window->tabNewVersionAvailable) && window->btnStart->isEnabled()) {
      pressedYes = true;
      QTimer::singleShot(0, window->btnStart, &QPushButton::click);
    }
  }
  bool pressedYes = false;
};

TEST_F(UpdateWindowTest, AnApplicationUpdateEndsWithTheRestartThroughTheUpdater) {
  const std::string next = ReadFile(KESSMAR_PROGRAM_171);
  const int size = static_cast<int>(next.size());
  PublishControlFile(Control("1.0.0.171", AppUpdate(), OneFile("kessmar-scanner-tool", size)));
  server->Serve("/f/kessmar-scanner-tool", next);
  QString ready, message;
  Offer([&] {
    PressYesWhenReady();
    if (On(window->tabDone) && ready.isEmpty()) {
      ready = window->lblUpgradeReady->text();
      message = window->lblUpgradeReadyMessage->text();
      window->RestartButton->click();
    }
  });
  EXPECT_EQ(window->memWhatsNew->toPlainText(), "Nieuw\nRegel 2");
  EXPECT_EQ(ready, "Upgrade voltooid !");
  EXPECT_EQ(message, "Druk op Ok om het programma te herstarten");
  EXPECT_EQ(messages.asked,
            std::vector<std::string>{"Shutdown application to update executable files ?"});
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, tmp / "wusetup.exe");
  EXPECT_EQ(endings, 1);
  EXPECT_EQ(ReadFile(tmp / "kessmar-scanner-tool"), next);
  EXPECT_EQ(window->FileProgress->maximum(), size);
  EXPECT_EQ(window->TotalProgress->value(), size);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(UpdateWindowTest, NoNewerVersionShowsNothing) {
  PublishControlFile(Control("1.0.0.170", AppUpdate(), ""));
  int shown = 0;
  Offer([&] { shown += window->isVisible(); });
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(UpdateWindowTest, AnUpdateWithoutComponentJustCloses) {
  PublishControlFile(
      Control("2", "", OneFile("readme.txt", 4, "targetdir=" + app.string() + "\n")));
  server->Serve("/f/readme.txt", "read");
  QString message = "unset";
  Offer([&] {
    PressYesWhenReady();
    if (On(window->tabDone)) {
      message = window->lblUpgradeReadyMessage->text();
      window->RestartButton->click();
    }
  });
  EXPECT_EQ(message, "");
  EXPECT_EQ(ReadFile(app / "readme.txt"), "read");
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(endings, 0);
}

TEST_F(UpdateWindowTest, AFailedDownloadIsReportedAndTheWindowCloses) {
  PublishControlFile(Control("2", AppUpdate(), OneFile("kessmar-scanner-tool", 10)));
  Offer([&] { PressYesWhenReady(); });
  EXPECT_EQ(messages.shown,
            std::vector<std::string>{"Er is een fout opgetreden tijdens het downloaden."});
  EXPECT_FALSE(sawDonePage);
  EXPECT_FALSE(window->WebUpdate.SessionOpen);
}

TEST_F(UpdateWindowTest, StoppenEndsTheDownloadAndRemovesThePartialFile) {
  PublishControlFile(Control("2", AppUpdate(), OneFile("kessmar-scanner-tool", 5'000'000)));
  server->Handle("/f/kessmar-scanner-tool", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(
        5'000'000, "application/octet-stream", [](size_t offset, size_t, httplib::DataSink& sink) {
          const std::string chunk(std::min<size_t>(65536, 5'000'000 - offset), 'x');
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          return sink.write(chunk.data(), chunk.size());
        });
  });
  bool pressed = false;
  Offer([&] {
    PressYesWhenReady();
    if (On(window->tabProgress) && window->FileProgress->value() > 0 && !pressed) {
      pressed = true;
      window->CancelButton->click();
    }
  });
  EXPECT_TRUE(pressed);
  EXPECT_EQ(messages.shown,
            std::vector<std::string>{"Er is een fout opgetreden tijdens het downloaden."});
  EXPECT_FALSE(sawDonePage);
  EXPECT_FALSE(std::filesystem::exists(tmp / "kessmar-scanner-tool"));
  EXPECT_TRUE(started.empty());
}

TEST_F(UpdateWindowTest, AnErrorDuringTheDownloadIsShownAndClosesTheWindow) {
  PublishControlFile(Control("2", AppUpdate(), OneFile("kessmar-scanner-tool", 100'000)));
  server->Serve("/f/kessmar-scanner-tool", std::string(100'000, 'x'));
  Offer([&] {
    if (!pressedYes && On(window->tabNewVersionAvailable) && window->btnStart->isEnabled()) {
      window->WebUpdate.ProcessMessages = [] { throw std::runtime_error("Disk on fire"); };
    }
    PressYesWhenReady();
  });
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Disk on fire"});
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(sawDonePage);
  EXPECT_FALSE(std::filesystem::exists(tmp / "kessmar-scanner-tool"));
}

TEST_F(UpdateWindowTest, AControlFileLostBeforeTheDownloadIsReported) {
  const std::string control = Control("2", AppUpdate(), "");
  int requests = 0;
  server->Handle("/files/download/kessmar_scanner_tool.ini",
                 [&, control](const httplib::Request&, httplib::Response& res) {
                   // The offer's two checks find it; the fetch for the download does not.
                   if (++requests <= 2) {
                     res.set_content(control, "text/plain");
                   } else {
                     res.status = 404;
                   }
                 });
  Offer([] {});
  EXPECT_EQ(messages.shown, std::vector<std::string>{
                                "Er is een fout opgetreden tijdens het ophalen van de update !"});
}

TEST_F(UpdateWindowTest, LaterClosesTheSessionAndTheWindow) {
  PublishControlFile(Control("2", AppUpdate(), ""));
  Offer([&] {
    if (On(window->tabNewVersionAvailable) && window->btnStart->isEnabled()) {
      window->btnLater->click();
    }
  });
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->WebUpdate.SessionOpen);
  EXPECT_TRUE(FolderNames(tmp).empty());
}

TEST_F(UpdateWindowTest, TheRateFollowsTheTicksOfEachFile) {
  uint32_t tick = 5000;
  window->TickCount = [&] { return tick; };
  window->lblSpeed->setText("unchanged");
  window->WebUpdateFileProgress("a", 4096, 1'000'000);
  EXPECT_EQ(window->lblSpeed->text(), "unchanged") << "no time has passed";
  tick += 4;
  window->WebUpdateFileProgress("a", 4996, 1'000'000);
  const QString point = QLocale::system().decimalPoint();
  EXPECT_EQ(window->lblSpeed->text(), "1" + point + "25 Mb/s");
  tick += 6;
  window->WebUpdateFileProgress("a", 9990, 1'000'000);
  EXPECT_EQ(window->lblSpeed->text(), "999 Kb/s");
  EXPECT_EQ(window->FileProgress->value(), 9990);
}

// The main window's daily timer and Help item offer through the update window.
TEST_F(UpdateWindowTest, TheDailyTimerAndTheHelpItemOffer) {
  ScriptedScanner scanner;
  MainWindowServices services(scanner, messages, shell, app / "kessmar-scanner-tool");
  services.enumeratePorts = [](bool) { return std::nullopt; };
  TfrmMain main(std::move(services));
  main.AttachUpdateWindow(window.get());
  EXPECT_TRUE(main.Checkvooreenupdate1->isVisible());
  EXPECT_EQ(main.trmCheckForUpdate->interval(), 1000);
  EXPECT_TRUE(main.trmCheckForUpdate->isActive());

  PublishControlFile(Control("1.0.0.170", AppUpdate(), ""));
  main.trmCheckForUpdateTimer();
  EXPECT_EQ(server->Requests("/files/download/kessmar_scanner_tool.ini"), 1);
  EXPECT_EQ(main.trmCheckForUpdate->interval(), 24 * 60 * 60 * 1000);
  EXPECT_TRUE(main.trmCheckForUpdate->isActive());

  // An error of the check is swallowed by the timer, shown by the menu item.
  window->WebUpdate.URL = "{LAD}/kessmar_scanner_tool.ini";
  env.Set("XDG_DATA_HOME", std::nullopt);
  env.Set("HOME", std::nullopt);
  main.trmCheckForUpdateTimer();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(main.trmCheckForUpdate->isActive());
  main.Checkvooreenupdate1->trigger();
  EXPECT_EQ(messages.shown,
            std::vector<std::string>{"Could not find Local Application Data folder location."});
}

// A server that trickles the control file holds the check only until its deadline; the daily
// timer runs again and the Help item checks afresh afterwards.
TEST_F(UpdateWindowTest, ATricklingServerEndsByTheDeadlineAndTheHelpItemWorksAfterwards) {
  ScriptedScanner scanner;
  MainWindowServices services(scanner, messages, shell, app / "kessmar-scanner-tool");
  services.enumeratePorts = [](bool) { return std::nullopt; };
  TfrmMain main(std::move(services));
  main.AttachUpdateWindow(window.get());
  window->WebUpdate.SmallFileDeadline = std::chrono::milliseconds(1500);
  std::atomic<bool> stop{false};
  server->Handle("/files/download/kessmar_scanner_tool.ini", [&](const httplib::Request&,
                                                                 httplib::Response& res) {
    res.set_content_provider(100'000, "text/plain", [&](size_t, size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return !stop && sink.write("[x", 2);
    });
  });
  const auto start = std::chrono::steady_clock::now();
  main.trmCheckForUpdateTimer();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(main.trmCheckForUpdate->isActive());
  stop = true;

  PublishControlFile(Control("1.0.0.170", AppUpdate(), ""));
  const int before = server->Requests("/files/download/kessmar_scanner_tool.ini");
  main.Checkvooreenupdate1->trigger();
  EXPECT_EQ(server->Requests("/files/download/kessmar_scanner_tool.ini"), before + 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(UpdateWindowTest, TheHelpItemTellsWhyNothingIsOffered) {
  PublishControlFile(Control("1.0.0.171", AppUpdate(), ""));
  chmod(app.c_str(), 0555);
  window->WebUpdate.ProgramFile = program;
  window->OfferUpdateAsked();
  chmod(app.c_str(), 0755);
  EXPECT_EQ(messages.shown, std::vector<std::string>{
                                "Deze versie van de Kessmar Scanner Tool wordt bijgewerkt via het "
                                "pakketbeheer van het systeem."});
  messages.shown.clear();

  // A refused update is named to the user who asked, never to the daily check.
  window->WebUpdate.URL = "http" + window->WebUpdate.URL.substr(5);
  window->OfferUpdate();
  EXPECT_TRUE(messages.shown.empty());
  window->OfferUpdateAsked();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].rfind("De update is geweigerd: Not an https address", 0), 0u);
}

TEST_F(UpdateWindowTest, TheWholeHeadlineShows) {
  const QLabel* headline = window->lblNieuweUpdate;
  const QRect needed = headline->fontMetrics().boundingRect(QRect(0, 0, headline->width(), 1000),
                                                            Qt::TextWordWrap, headline->text());
  EXPECT_LE(needed.height(), headline->height());
  EXPECT_LE(headline->geometry().right(), window->pagMain->width());
  EXPECT_GT(window->memWhatsNew->geometry().top(), headline->geometry().bottom());
}

}  // namespace
}  // namespace kessmar::testing
