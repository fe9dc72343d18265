// DownloadFile against a local HTTPS server: the good case with its headers, progress and
// reused connection, and every way a transfer can fail.
#include <gtest/gtest.h>
#include <httplib.h>

#include <random>
#include <regex>

#include "update/UpdateTestSupport.h"

namespace kessmar::testing {
namespace {

std::string RandomBytes(size_t n, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class TransferTest : public UpdateFixture {
 protected:
  std::filesystem::path target = dir / "target";
  void SetUp() override {
    UpdateFixture::SetUp();
    std::filesystem::create_directories(target);
    ASSERT_EQ(web.OpenSession(), 0);
  }
  std::string Target() const { return target.string() + "/"; }
};

TEST_F(TransferTest, DownloadsInBlocksWithoutCachesOverOneConnection) {
  const std::string content = RandomBytes(100'000);
  server->Serve("/files/a.bin", content);
  server->Serve("/files/b.bin", "second");
  std::vector<std::pair<int64_t, int64_t>> progress;
  int pumps = 0;
  web.ProcessMessages = [&] { ++pumps; };
  web.OnFileProgress = [&](TWebUpdate&, const std::string& file, int64_t pos, int64_t size) {
    EXPECT_EQ(file, Target() + "a.bin");
    progress.emplace_back(pos, size);
  };

  ASSERT_TRUE(web.DownloadFile(server->Url("/files/a.bin"), Target()));
  EXPECT_EQ(ReadFile(target / "a.bin"), content);
  ASSERT_FALSE(progress.empty());
  int64_t last = 0;
  for (const auto& [pos, size] : progress) {
    EXPECT_EQ(size, 100'000);
    EXPECT_LE(pos - last, 4096);  // never more than one block between two calls
    last = pos;
  }
  EXPECT_EQ(last, 100'000);
  EXPECT_GE(pumps, 100'000 / 4096);
  EXPECT_EQ(server->LastHeader("/files/a.bin", "Cache-Control"), "no-cache");
  EXPECT_EQ(server->LastHeader("/files/a.bin", "Pragma"), "no-cache");
  EXPECT_EQ(server->LastHeader("/files/a.bin", "User-Agent"), "TWebUpdate");

  web.OnFileProgress = nullptr;
  ASSERT_TRUE(web.DownloadFile(server->Url("/files/b.bin"), Target()));
  EXPECT_EQ(server->ClientPorts().size(), 1u) << "the second request reuses the connection";
  // Nothing is left in the temporary folder.
  EXPECT_TRUE(FolderNames(tmp).empty());

  // The log lines are dated and carry status and error codes.
  const std::string text = ReadFile(log);
  const std::regex line(
      R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d : \[915\] Download : )" +
      std::regex_replace(server->Url("/files/a.bin"), std::regex(R"([.])"), R"(\.)") +
      R"( \(Status:3\) \(Error:0\)\r\n)");
  EXPECT_TRUE(std::regex_search(text, line)) << text;
}

TEST_F(TransferTest, AShortBodyLeavesNoFileAndAnOldTargetStays) {
  WriteFile(target / "short.bin", "old");
  server->ServeShortBody("/short.bin", 100'000, 30'000);
  EXPECT_FALSE(web.DownloadFile(server->Url("/short.bin"), Target()));
  EXPECT_EQ(ReadFile(target / "short.bin"), "old");
  EXPECT_TRUE(FolderNames(tmp).empty()) << "the WUPD file is removed";
}

TEST_F(TransferTest, NotFoundCreatesNoFile) {
  EXPECT_FALSE(web.DownloadFile(server->Url("/missing.bin"), Target()));
  EXPECT_TRUE(FolderNames(target).empty());
  EXPECT_TRUE(FolderNames(tmp).empty());
  EXPECT_NE(ReadFile(log).find("[916] Http status : 404 (Status:6) (Error:404)"),
            std::string::npos);
}

TEST_F(TransferTest, AnEmptyFileFailsButLeavesAnEmptyTarget) {
  server->Serve("/empty.txt", "");
  EXPECT_FALSE(web.DownloadFile(server->Url("/empty.txt"), Target()));
  ASSERT_TRUE(std::filesystem::exists(target / "empty.txt"));
  EXPECT_EQ(std::filesystem::file_size(target / "empty.txt"), 0u);
}

TEST_F(TransferTest, ACancelRemovesThePartialFileAndEndsEveryLaterDownload) {
  server->Serve("/big.bin", RandomBytes(2'000'000));
  server->Serve("/next.bin", "next");
  web.OnFileProgress = [&](TWebUpdate& sender, const std::string&, int64_t pos, int64_t) {
    if (pos >= 8192) sender.RequestCancel();
  };
  EXPECT_FALSE(web.DownloadFile(server->Url("/big.bin"), Target()));
  EXPECT_TRUE(FolderNames(target).empty());
  EXPECT_TRUE(FolderNames(tmp).empty());
  EXPECT_TRUE(Contains(Reports(), 964));

  EXPECT_FALSE(web.DownloadFile(server->Url("/next.bin"), Target()));
  EXPECT_EQ(server->Requests("/next.bin"), 0) << "a cancelled run asks the server nothing more";
  web.CancelRequested = false;
  EXPECT_TRUE(web.DownloadFile(server->Url("/next.bin"), Target()));
}

TEST_F(TransferTest, ADownloadStartedDuringAnotherFailsAndSparesIt) {
  const std::string content = RandomBytes(300'000);
  server->Serve("/outer.bin", content);
  server->Serve("/inner.bin", "inner");
  int nested = 0;
  bool innerResult = true;
  web.OnFileProgress = [&](TWebUpdate& sender, const std::string&, int64_t, int64_t) {
    if (nested++ == 0) innerResult = sender.DownloadFile(server->Url("/inner.bin"), Target());
  };
  EXPECT_TRUE(web.DownloadFile(server->Url("/outer.bin"), Target()));
  EXPECT_FALSE(innerResult);
  EXPECT_EQ(ReadFile(target / "outer.bin"), content);
}

TEST_F(TransferTest, AnErrorOfAHookEndsTheTransferAndReachesTheCaller) {
  server->Serve("/hook.bin", RandomBytes(100'000));
  web.OnFileProgress = [](TWebUpdate&, const std::string&, int64_t, int64_t) {
    throw std::runtime_error("hook failed");
  };
  EXPECT_THROW(web.DownloadFile(server->Url("/hook.bin"), Target()), std::runtime_error);
  EXPECT_TRUE(FolderNames(target).empty());
  EXPECT_TRUE(FolderNames(tmp).empty());
}

TEST_F(TransferTest, AReadOnlyTargetIsReplaced) {
  WriteFile(target / "tool.dat", "old");
  std::filesystem::permissions(target / "tool.dat", std::filesystem::perms::owner_read);
  server->Serve("/tool.dat", "new");
  EXPECT_TRUE(web.DownloadFile(server->Url("/tool.dat"), Target()));
  EXPECT_EQ(ReadFile(target / "tool.dat"), "new");
}

TEST_F(TransferTest, AServerWithoutATrustedCertificateIsRefused) {
  HttpsTestServer stranger(dir / "stranger");  // its own authority, unknown to the component
  stranger.Serve("/x.bin", "x");
  EXPECT_FALSE(web.DownloadFile(stranger.Url("/x.bin"), Target()));
  EXPECT_EQ(stranger.Requests("/x.bin"), 0);
  const auto reports = Reports();
  EXPECT_TRUE(Contains(reports, 976));
  EXPECT_TRUE(Contains(reports, 917));
  EXPECT_TRUE(FolderNames(target).empty());
}

TEST_F(TransferTest, UrlsWithoutAFileNameAreRefused) {
  EXPECT_EQ(TWebUpdate::UrlFileName("https://h/files/a.exe"), "a.exe");
  EXPECT_EQ(TWebUpdate::UrlFileName("https://h/get?id=7"), "id=7");
  EXPECT_EQ(TWebUpdate::UrlFileName("https://h/x\\y.txt"), "y.txt");
  EXPECT_FALSE(web.DownloadFile(server->Url("/files/"), Target()));
  EXPECT_FALSE(web.DownloadFile(server->Url("/files/.."), Target()));
  EXPECT_TRUE(FolderNames(target).empty());
}

TEST_F(TransferTest, WithoutASessionNothingIsFetched) {
  web.UpdateConnect = TUpdateConnect::wucNone;
  EXPECT_EQ(web.OpenSession(), 0);
  EXPECT_FALSE(web.SessionOpen);
  server->Serve("/x.bin", "x");
  EXPECT_FALSE(web.DownloadFile(server->Url("/x.bin"), Target()));
  EXPECT_EQ(server->Requests("/x.bin"), 0);
}

}  // namespace
}  // namespace kessmar::testing
