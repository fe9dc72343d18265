// The check's fetches through kessmar-update-fetch: end to end against the local HTTPS server,
// and helpers that hang, answer garbage or cannot load libcurl.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>

#include "platform/lazy/LazyLibrary.h"
#include "update/FetchProtocol.h"
#include "update/UpdateTestSupport.h"

namespace kessmar::testing {
namespace {

// The processes whose parent is this one.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat;
    try {
      stat = ReadFile(entry.path() / "stat");
    } catch (...) {
      continue;  // ended meanwhile
    }
    // "pid (comm) state ppid ...": the name may hold blanks and parentheses.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    pid_t parent = 0;
    char state = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
        parent == getpid()) {
      children.push_back(std::stoi(name));
    }
  }
  return children;
}

class FetchHelperTest : public UpdateFixture {
 protected:
  void SetUp() override {
    UpdateFixture::SetUp();
    WriteVersionedProgram(app / "kessmar-scanner-tool", {1, 0, 0, 170});
  }

  std::filesystem::path Helper(const std::string& name, const std::string& script) {
    const auto path = dir / name;
    WriteFile(path, "#!/bin/sh\n" + script + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
};

TEST_F(FetchHelperTest, TheCheckFetchesThroughTheHelperAndNeverLoadsLibcurlHere) {
  PublishControlFile(
      "[Update]\r\nNewVersion=1.0.0.171\r\nLocalVersion={APP}/kessmar-scanner-tool\r\n"
      "[WhatsNew]\r\nFile=" +
      server->Url("/files/download/whatsnew.txt") + "\r\n");
  server->Serve("/files/download/whatsnew.txt", "Nieuw\r\n");
  std::vector<std::string> whatsNew;
  web.OnDownloadedWhatsNew = [&](TWebUpdate&, const std::vector<std::string>& text, int&) {
    whatsNew = text;
  };
  ASSERT_FALSE(web.FetchProgram.empty());
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(whatsNew, std::vector<std::string>{"Nieuw"});
  EXPECT_EQ(web.NewVersionText, "1.0.0.171");
  // The reports the helper made are this process's own: logged here, in their order.
  const auto reports = Reports();
  for (const int n : {915, 926, 929, 937, 949}) EXPECT_TRUE(Contains(reports, n)) << n;
  EXPECT_EQ(ReadFile("/proc/self/maps").find("libcurl"), std::string::npos);
  EXPECT_TRUE(Children().empty());
  EXPECT_TRUE(FolderNames(tmp).empty());
}

TEST_F(FetchHelperTest, AHelperThatFailsIsAFailedFetchThatLeavesNothingBehind) {
  web.SmallFileDeadline = std::chrono::milliseconds(300);
  web.HelperAllowance = std::chrono::milliseconds(300);
  struct Case {
    const char* name;
    std::string script;
    const char* logged;
  };
  const std::vector<Case> cases = {
      {"hangs", "exec sleep 60", "did not answer in time and was stopped"},
      {"hangs-in-a-child", "sleep 60; echo", "did not answer in time and was stopped"},
      {"garbage", "printf 'HTTP/1.1 200 OK\\r\\n'; exec sleep 60", "answered what it must not"},
      {"floods", "printf '3000000:'; exec cat /dev/zero", "answered what it must not: more than"},
      {"endless-field", "printf '99999999999:'; exec sleep 60", "answered what it must not"},
      {"silent", "exit 3", "ended with exit code 3 without an answer"},
      {"late-result", "printf '22:1:R,3:915,1:u,1:3,1:0,,'; exec sleep 60",
       "did not answer in time"},
      {"result-then-stays", "printf '16:1:E,1:0,2:hi,0:,,'; exec sleep 60",
       "did not end after its answer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(log);
    web.FetchProgram = Helper(c.name, c.script);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(web.QueryUpdateAvailable(false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(web.SessionOpen);
    const auto reports = Reports();
    for (const int n : {976, 917, 925}) EXPECT_TRUE(Contains(reports, n)) << n;
    const std::string text = ReadFile(log);
    EXPECT_NE(text.find(c.logged), std::string::npos) << text;
    EXPECT_TRUE(Children().empty());
    EXPECT_TRUE(FolderNames(tmp).empty());
  }
  // A helper that cannot be started is the same failure.
  std::filesystem::remove(log);
  web.FetchProgram = dir / "no-such-helper";
  EXPECT_EQ(web.FetchControlFile(), 4);
  EXPECT_NE(ReadFile(log).find("is not a program this user can run"), std::string::npos);
}

// The answer arrives in whatever pieces the socket gives; every split reads the same.
TEST(FetchProtocolTest, AnAnswerReadsTheSameInAnyPiecesAndARequestComesBackWhole) {
  const std::string digest(64, 'a');
  const std::string answer = EncodeReport(915, "https://x/ä,:1", 3, 0) + EncodeRefusal("no") +
                             EncodeResult(0, std::string("a\0b,9:", 6), digest);
  for (const size_t piece : {size_t{1}, size_t{2}, size_t{7}, answer.size()}) {
    FetchAnswerReader reader(answer.size());
    std::vector<FetchEvent> events;
    for (size_t at = 0; at < answer.size(); at += piece) {
      for (auto& e : reader.Add(std::string_view(answer).substr(at, piece))) events.push_back(e);
    }
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].message, 915);
    EXPECT_EQ(events[0].text, "https://x/ä,:1");
    EXPECT_EQ(events[1].text, "no");
    EXPECT_EQ(events[2].body, std::string("a\0b,9:", 6));
    EXPECT_EQ(events[2].digest, digest);
    EXPECT_TRUE(reader.Finished());
  }
  EXPECT_THROW(FetchAnswerReader(answer.size() - 1).Add(answer), std::runtime_error);
  EXPECT_THROW(FetchAnswerReader(1000).Add(EncodeResult(3, "", "")), std::runtime_error);
  EXPECT_THROW(FetchAnswerReader(1000).Add(EncodeResult(4, "text", "")), std::runtime_error);
  EXPECT_THROW(FetchAnswerReader(1000).Add(EncodeResult(0, "", "XYZ")), std::runtime_error);
  EXPECT_THROW(FetchAnswerReader(1000).Add(EncodeReport(99999, "", 0, 0)), std::runtime_error);

  FetchRequest request;
  request.kind = FetchKind::kSmallFile;
  request.url = "https://127.0.0.1/w.txt";
  request.folder = "/tmp/k/";
  request.sha256 = digest;
  request.timeOut = -1;
  request.reuseConnections = true;
  request.deadlineMs = 60000;
  request.maxBytes = 1 << 20;
  request.keys.push_back({});
  request.keys.back().fill(7);
  const FetchRequest back = DecodeFetchRequest(EncodeFetchRequest(request));
  EXPECT_EQ(back.kind, FetchKind::kSmallFile);
  EXPECT_EQ(back.url, request.url);
  EXPECT_EQ(back.sha256, digest);
  EXPECT_EQ(back.timeOut, -1);
  EXPECT_TRUE(back.reuseConnections);
  EXPECT_EQ(back.maxBytes, 1 << 20);
  EXPECT_EQ(back.keys, request.keys);
  EXPECT_THROW(DecodeFetchRequest(EncodeFetchRequest(request) + "0:,"), std::runtime_error);
  EXPECT_THROW(DecodeFetchRequest("5:other,"), std::runtime_error);
}

TEST_F(FetchHelperTest, AHelperWithoutLibcurlMakesTheCheckThrowNamingIt) {
  env.Set("KESSMAR_LIBCURL", (dir / "missing" / "libcurl.so.4").string());
  PublishControlFile("[Update]\r\nNewVersion=1.0.0.171\r\n");
  try {
    web.QueryUpdateAvailable(false);
    ADD_FAILURE() << "the check did not throw";
  } catch (const platform::LibraryUnavailable& e) {
    EXPECT_EQ(e.Library(), "libcurl.so.4");
    EXPECT_NE(std::string(e.what()).find((dir / "missing").string()), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(web.SessionOpen);
  EXPECT_EQ(server->Requests("/files/download/kessmar_scanner_tool.ini"), 0);
  EXPECT_TRUE(Children().empty());
  EXPECT_TRUE(FolderNames(tmp).empty());
}

}  // namespace
}  // namespace kessmar::testing
