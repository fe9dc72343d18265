// The order page in a real browser: headless Chromium loads the page and posts the form to a
// local shop endpoint, which checks every field the shop receives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "actions/ActionsTestSupport.h"
#include "actions/OrderPage.h"
#include "platform/ShellOpen.h"
#include "support/ScopedEnvironment.h"

namespace kessmar {
namespace {

using test::MakeBatchToProcess;
using test::TempDir;

constexpr const char* kChromium = "/usr/bin/chromium";

// What the shop endpoint received.
struct Received {
  std::mutex mutex;
  std::condition_variable arrived;
  bool posted = false;
  std::string path;
  std::string contentType;
  std::string body;
};

// The shop on 127.0.0.1, an ephemeral port, served from its own thread until destroyed.
class LocalShop {
 public:
  explicit LocalShop(Received& received) {
    server_.Post("/bestelling", [&received](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(received.mutex);
        received.posted = true;
        received.path = req.path;
        received.contentType = req.get_header_value("Content-Type");
        received.body = req.body;
      }
      received.arrived.notify_all();
      res.set_content("<html><body>Bedankt</body></html>", "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ > 0) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~LocalShop() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  LocalShop(const LocalShop&) = delete;
  LocalShop& operator=(const LocalShop&) = delete;

  int Port() const { return port_; }

 private:
  httplib::Server server_;
  int port_ = -1;
  std::thread thread_;
};

// The shell's "open" as headless Chromium: loads the page, follows the form post, prints the
// final page and exits. Runs in its own process group, which is killed after a minute.
class HeadlessChromium : public ShellOpen {
 public:
  explicit HeadlessChromium(std::filesystem::path workDir) : workDir_(std::move(workDir)) {}

  bool Open(const std::filesystem::path& page) override {
    std::filesystem::path home = workDir_ / "home";
    std::filesystem::create_directories(home);
    std::vector<std::string> args = {kChromium,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--user-data-dir=" + (workDir_ / "profile").string(),
                                     "--dump-dom",
                                     "file://" + page.string()};
    // The browser's caches and settings stay inside the test folder.
    std::vector<std::string> env = {
        "HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
        "XDG_CACHE_HOME=" + (home / ".cache").string(), "PATH=/usr/bin:/bin"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string out = (workDir_ / "dom.txt").string();
    std::string err = (workDir_ / "chromium.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, kChromium, &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      outcome = "could not start chromium";
      return false;
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        outcome = "chromium did not finish within 60 s";
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(-pid, SIGKILL);  // helpers it may have left behind
    outcome = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status)) : "killed";
    return true;
  }

  std::string outcome = "not started";

 private:
  std::filesystem::path workDir_;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// application/x-www-form-urlencoded body as name/value pairs in the order sent.
std::vector<std::pair<std::string, std::string>> ParseForm(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> fields;
  while (!body.empty()) {
    size_t amp = body.find('&');
    std::string_view pair = body.substr(0, amp);
    size_t eq = pair.find('=');
    fields.emplace_back(PercentDecode(pair.substr(0, eq)),
                        eq == std::string_view::npos ? "" : PercentDecode(pair.substr(eq + 1)));
    body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
  }
  return fields;
}

TEST(OrderPageInBrowser, ShopReceivesEveryFieldInPageOrder) {
  if (!std::filesystem::exists(kChromium)) GTEST_SKIP() << "no " << kChromium;

  Received received;
  LocalShop shop(received);
  ASSERT_GT(shop.Port(), 0);
  testing::ScopedEnvironment shopUrl{
      {"KESSMAR_SHOP_URL", "http://127.0.0.1:" + std::to_string(shop.Port()) + "/"}};

  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "Data");
  MemTable batch = MakeBatchToProcess("1A2B3C4D5E6F", "1A2B3C4D5E6F20081205143000",
                                      {{"A&B", 3}, {"say \"hi\"", 1}, {"caf\xE9", 2}});
  HeadlessChromium browser(dir.Path());
  ASSERT_TRUE(SendBatchToWebsite(batch, dir.Path() / "Data", browser));

  std::unique_lock lock(received.mutex);
  // The browser has exited by now; the wait only covers a request still being handled.
  received.arrived.wait_for(lock, std::chrono::seconds(10), [&] { return received.posted; });
  ASSERT_TRUE(received.posted) << "chromium: " << browser.outcome << ", see "
                               << (dir.Path() / "chromium.log");
  EXPECT_EQ(received.path, "/bestelling");
  EXPECT_EQ(received.contentType, "application/x-www-form-urlencoded");

  std::vector<std::pair<std::string, std::string>> expected = {
      {"_scanner_id", "1A2B3C4D5E6F"},
      {"_b_batch", "1A2B3C4D5E6F20081205143000"},
      {"_b_count", "3"},
      {"_b_num[0]", "3"},
      {"_b_val[0]", "A&B"},
      {"_b_dat[0]", ""},
      {"_b_typ[0]", ""},
      {"_b_num[1]", "1"},
      {"_b_val[1]", "say \"hi\""},
      {"_b_dat[1]", ""},
      {"_b_typ[1]", ""},
      {"_b_num[2]", "2"},
      {"_b_val[2]", "caf\xE9"},  // the page is iso-8859-1: é is posted as the one byte %E9
      {"_b_dat[2]", ""},
      {"_b_typ[2]", ""},
  };
  EXPECT_EQ(ParseForm(received.body), expected) << received.body;
}

}  // namespace
}  // namespace kessmar
