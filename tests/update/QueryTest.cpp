// The composite check against the local update server: fetching, evaluating, the what's-new
// text, and the control file that cannot be fetched.
#include <gtest/gtest.h>

#include "update/UpdateTestSupport.h"

namespace kessmar::testing {
namespace {

const char* const kControlPath = "/files/download/kessmar_scanner_tool.ini";

class QueryTest : public UpdateFixture {
 protected:
  void SetUp() override {
    UpdateFixture::SetUp();
    WriteVersionedProgram(app / "kessmar-scanner-tool", {1, 0, 0, 170});
  }
  std::string Control(const std::string& newVersion) const {
    return "[Update]\r\nNewVersion=" + newVersion +
           "\r\nLocalVersion={APP}/kessmar-scanner-tool\r\n"
           "[Application]\r\nAppUpdate=1\r\nAppName={APP}/kessmar-scanner-tool\r\nAppParam=\r\n"
           "AppComps={APP}/kessmar-scanner-tool\r\nSilentRestart=1\r\n"
           "[WhatsNew]\r\nFile=" +
           server->Url("/files/download/whatsnew.txt") + "\r\n";
  }
};

TEST_F(QueryTest, ANewerVersionIsAnnouncedWithItsWhatsNewText) {
  PublishControlFile(Control("1.0.0.171"));
  server->Serve("/files/download/whatsnew.txt", "Nieuw: caf\xE9\r\nRegel 2\r\n");
  std::vector<std::string> whatsNew;
  web.OnDownloadedWhatsNew = [&](TWebUpdate&, const std::vector<std::string>& text, int& res) {
    whatsNew = text;
    EXPECT_EQ(res, 1);
  };
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(whatsNew, (std::vector<std::string>{"Nieuw: caf\u00E9", "Regel 2"}));
  EXPECT_TRUE(web.AppUpdateAnnounced);
  EXPECT_EQ(web.AppName, app.string() + "/kessmar-scanner-tool");
  EXPECT_EQ(web.AppParams, " ");
  EXPECT_EQ(web.AppComponents, app.string() + "/kessmar-scanner-tool");
  EXPECT_TRUE(web.SilentRestart);
  EXPECT_FALSE(web.SessionOpen);
  // The session's end removed the control-file copy and the what's-new file.
  EXPECT_TRUE(FolderNames(tmp).empty());
  EXPECT_EQ(web.LoadFileEntries(), 0);

  web.OnDownloadedWhatsNew = nullptr;
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(server->Requests("/files/download/whatsnew.txt"), 1) << "no hook, no fetch";
}

TEST_F(QueryTest, TheSameVersionIsNoUpdate) {
  PublishControlFile(Control("1.0.0.170"));
  int calls = 0;
  web.OnDownloadedWhatsNew = [&](TWebUpdate&, const std::vector<std::string>&, int&) { ++calls; };
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(server->Requests("/files/download/whatsnew.txt"), 0);
}

TEST_F(QueryTest, AnEmptyUrlANotFoundAndAnEmptyFileAllMeanNoControlFile) {
  web.URL.clear();
  EXPECT_EQ(web.FetchControlFile(), 4);
  web.URL = server->Url(kControlPath);
  ASSERT_EQ(web.OpenSession(), 0);
  EXPECT_EQ(web.FetchControlFile(), 4);
  PublishControlFile("");
  EXPECT_EQ(web.FetchControlFile(), 4);
  const auto reports = Reports();
  EXPECT_EQ(std::count(reports.begin(), reports.end(), 925), 3);
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
}

TEST_F(QueryTest, AnApplicationWithoutNameIsNoApplicationUpdate) {
  PublishControlFile(
      "[application]\nappupdate=1\nappname=\nappparam=-x\n[update]\nunconditional=1\n"
      "[files]\ncount=1\n[file1]\nurl=" +
      server->Url("/f.txt") + "\n");
  ASSERT_EQ(web.OpenSession(), 0);
  ASSERT_EQ(web.FetchControlFile(), 0);
  EXPECT_FALSE(web.AppUpdateAnnounced);
  EXPECT_EQ(web.AppParams, "-x");
  EXPECT_EQ(web.EvaluateControlFile(), UpdateOutcome::UnconditionalUpdate);
  web.CloseSession();
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(web.FileEntries.size(), 1u) << "the unconditional check selects its entries once";
}

}  // namespace
}  // namespace kessmar::testing
