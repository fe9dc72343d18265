// The real program with libpq and libcurl made unfindable: the libraries of the back-office and
// update roads are loaded only when a road is taken, so the tool starts without them, reads and
// posts a batch, and says why the back office and the update cannot be used.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ChildProcess.h"
#include "support/EmulatedScanner.h"
#include "support/TempDir.h"

namespace kessmar::testing {
namespace {

constexpr const char* kChromium = "/usr/bin/chromium";

class LateLibrariesTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path tool = dir / "kessmar-scanner-tool";
  std::map<std::string, std::string> env;
  std::unique_ptr<ChildProcess> xvfb;

  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kChromium)) << "the order page needs " << kChromium;
    // The offscreen platform opens no documents: the tool runs on an X server of its own.
    ASSERT_TRUE(std::filesystem::exists("/usr/bin/Xvfb")) << "Xvfb is not installed";
    xvfb = std::make_unique<ChildProcess>(
        "/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0", "800x600x24",
                                                  "-nolisten", "tcp"});
    const auto display = xvfb->ReadLine(std::chrono::seconds(10));
    ASSERT_TRUE(display && !display->empty()) << "Xvfb did not start";
    std::filesystem::copy_file(KESSMAR_TOOL_PATH, tool);
    // The update check's helper, which finds no libcurl either and tells the tool so.
    std::filesystem::copy_file(KESSMAR_UPDATE_FETCH_PATH, dir / "kessmar-update-fetch");
    for (const char* folder : {"run", "ports", "sys", "bin"}) {
      std::filesystem::create_directory(dir / folder);
    }
    std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
    // The user's browser: headless Chromium, which posts the order page and ends.
    WriteFile(dir / "bin" / "xdg-open",
              "#!/bin/sh\nexec " + std::string(kChromium) +
                  " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                  " --disable-background-networking --disable-component-update --disable-sync"
                  " --user-data-dir=" +
                  (dir / "browser").string() + " --dump-dom \"$1\" >/dev/null 2>&1\n");
    std::filesystem::permissions(dir / "bin" / "xdg-open", std::filesystem::perms::owner_all);
    const char* path = std::getenv("PATH");
    env = {{"QT_QPA_PLATFORM", "xcb"},
           {"DISPLAY", ":" + *display},
           {"XDG_RUNTIME_DIR", (dir / "run").string()},
           {"KESSMAR_PORTS_DIR", (dir / "ports").string()},
           {"KESSMAR_SYSFS_ROOT", (dir / "sys").string()},
           {"KESSMAR_DEV_ROOT", (dir / "dev").string()},
           {"KESSMAR_UPDATE_URL", "https://127.0.0.1:9"},
           {"KESSMAR_LIBPQ", (dir / "missing" / "libpq.so.5").string()},
           {"KESSMAR_LIBCURL", (dir / "missing" / "libcurl.so.4").string()},
           {"PATH", (dir / "bin").string() + ":" + (path != nullptr ? path : "/usr/bin:/bin")}};
  }

  void TearDown() override {
    // A terminated X server removes its socket and lock files; a killed one would leave them.
    if (xvfb) {
      xvfb->Signal(SIGTERM);
      xvfb->Wait(std::chrono::seconds(5));
    }
  }

  std::string Log() const { return ReadFile(dir / "kessmar-scanner-tool.log"); }
};

std::string MappedFiles(pid_t pid) {
  return ReadFile("/proc/" + std::to_string(pid) + "/maps");
}

TEST_F(LateLibrariesTest, WithoutLibpqAndLibcurlTheToolPostsABatchAndSaysWhyTheOtherRoadsAreShut) {
  ChildProcess shop(KESSMAR_DEMO_SHOP_PATH, {"--timeout", "60"});
  const auto listening = shop.ReadLine(std::chrono::seconds(10));
  ASSERT_TRUE(listening && listening->rfind("LISTENING ", 0) == 0) << "demo-shop did not start";
  env["KESSMAR_SHOP_URL"] = "http://127.0.0.1:" + listening->substr(10);
  EmulatedScanner scanner(dir / "ports", {"--scan", "8712345678906", "--scan", "4006381333931"});

  // The web shop's road: read, saved, posted by the browser, cleared from the scanner.
  {
    ChildProcess process(tool.string(), {}, env);
    std::optional<std::string> order;
    for (;;) {
      order = shop.ReadLine(std::chrono::seconds(30));
      if (!order || order->rfind("ORDER RECEIVED", 0) == 0) break;
    }
    ASSERT_TRUE(order) << "no order reached the shop; the tool's log:\n" << Log();
    EXPECT_TRUE(WaitFor([&] { return scanner.StoredCount() == 0; }, std::chrono::seconds(10)));
    EXPECT_TRUE(std::filesystem::exists(dir / "Data" / "last_read.dat"));
    // The daily check runs about a second after the start, and finds no libcurl.
    EXPECT_TRUE(WaitFor([&] { return Log().find("libcurl.so.4") != std::string::npos; },
                        std::chrono::seconds(10)));
    EXPECT_NE(Log().find("The update is unavailable: libcurl.so.4 is unavailable"),
              std::string::npos)
        << Log();
    const std::string maps = MappedFiles(process.pid());
    EXPECT_EQ(maps.find("libpq"), std::string::npos);
    EXPECT_EQ(maps.find("libcurl"), std::string::npos);
    EXPECT_EQ(maps.find("libmspack"), std::string::npos);
    EXPECT_EQ(maps.find("libcrypto"), std::string::npos);
    ASSERT_TRUE(process.running());
    process.Signal(SIGTERM);
    EXPECT_EQ(process.Wait(std::chrono::seconds(10)), 0);
  }

  // The back office's road: the scans stay in the scanner, the log names the library.
  WriteFile(dir / "kessmar-scanner-tool.ini", "[SYSTEM]\r\nAUTO=1\r\nACTIE=2\r\n");
  ASSERT_EQ(scanner.Control("add 5901234123457"), "ok");
  ChildProcess process(tool.string(), {}, env);
  EXPECT_TRUE(WaitFor(
      [&] {
        return Log().find("The back office is unavailable: libpq.so.5 is unavailable") !=
               std::string::npos;
      },
      std::chrono::seconds(20)))
      << Log();
  EXPECT_NE(Log().find((dir / "missing" / "libpq.so.5").string()), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(scanner.StoredCount(), 1);
  EXPECT_TRUE(process.running());
  process.Signal(SIGTERM);
  EXPECT_EQ(process.Wait(std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace kessmar::testing
