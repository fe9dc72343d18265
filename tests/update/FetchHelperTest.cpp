// The check's fetches through kessmar-update-fetch: end to end against the local HTTPS server,
// and helpers that hang, answer garbage or cannot load libcurl.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>

#include "platform/lazy/LazyLibrary.h"
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
