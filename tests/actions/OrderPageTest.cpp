// The web order page's bytes and how it is written and handed to the shell.
#include "actions/HandOnError.h"
#include "actions/OrderPage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <stdlib.h>
#include <csignal>

#include <stdexcept>
#include <string>
#include <vector>

#include "actions/ActionsTestSupport.h"
#include "platform/ShellOpen.h"
#include "support/ScopedEnvironment.h"

namespace kessmar {
namespace {

using test::FolderContents;
using test::MakeBatchToProcess;
using test::ReadBytes;
using test::TempDir;

constexpr std::string_view kEndpoint = "https://www.kessmar.nl/bestelling";

class RecordingShell : public ShellOpen {
 public:
  bool Open(const std::filesystem::path& path) override {
    opened.push_back(path);
    return opens;
  }
  std::vector<std::filesystem::path> opened;
  bool opens = true;
};

TEST(OrderPage, MergedBatchGivesTheExactPage) {
  TempDir dir;
  MemTable batch = MakeBatchToProcess("1A2B3C4D5E6F", "1A2B3C4D5E6F20081205143000",
                                      {{"8712345678906", 3}, {"4006381333931", 1}});
  ASSERT_TRUE(WriteOrderPage(batch, dir.Path() / "kessmar.html", kEndpoint));
  EXPECT_EQ(ReadBytes(dir.Path() / "kessmar.html"),
            ReadBytes(std::filesystem::path(KESSMAR_ACTIONS_GOLDEN_DIR) / "merged_batch.html"));
}

TEST(OrderPage, RowCountDecidesWhetherAPageIsWritten) {
  TempDir dir;
  std::filesystem::path page = dir.Path() / "kessmar.html";

  MemTable closedEmpty(MemTable::ScanRecordFields());
  EXPECT_FALSE(WriteOrderPage(closedEmpty, page, kEndpoint));
  MemTable oneRow(MemTable::ScanRecordFields());
  oneRow.Open();
  oneRow.Append();
  oneRow.SetText("Barcode", "AB");
  oneRow.Post();
  EXPECT_FALSE(WriteOrderPage(oneRow, page, kEndpoint));
  EXPECT_TRUE(FolderContents(dir.Path()).empty());

  // Only the leading rows: count 0 and not a single item line.
  MemTable leadingOnly = MakeBatchToProcess("AB", "AB20081205143000", {});
  ASSERT_TRUE(WriteOrderPage(leadingOnly, page, kEndpoint));
  std::string bytes = ReadBytes(page);
  EXPECT_NE(bytes.find("<input type=\"hidden\" name=\"_scanner_id\" value=\"AB\">\r\n"
                       "<input type=\"hidden\" name=\"_b_batch\" value=\"AB20081205143000\">\r\n"
                       "<input type=\"hidden\" name=\"_b_count\" value=\"0\">\r\n"
                       "<p>Sending barcodes"),
            std::string::npos);
  EXPECT_EQ(bytes.find("_b_num["), std::string::npos);
}

TEST(OrderPage, SecondPageReplacesTheFirstWhole) {
  TempDir dir;
  std::filesystem::path page = dir.Path() / "kessmar.html";
  MemTable big = MakeBatchToProcess("AB", "AB1", {{"1111", 1}, {"2222", 2}, {"3333", 3}});
  MemTable small = MakeBatchToProcess("CD", "CD2", {{"4444", 4}});
  ASSERT_TRUE(WriteOrderPage(big, page, kEndpoint));
  ASSERT_TRUE(WriteOrderPage(small, page, kEndpoint));

  std::string bytes = ReadBytes(page);
  EXPECT_EQ(bytes.find("1111"), std::string::npos);
  EXPECT_EQ(bytes.find("_b_num[1]"), std::string::npos);
  EXPECT_NE(bytes.find("value=\"4444\""), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.size() - 9), "</html>\r\n");
  EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::filesystem::path>{"kessmar.html"});
}

TEST(OrderPage, ValuesAreEscapedAndKeepTheirBytes) {
  TempDir dir;
  std::filesystem::path page = dir.Path() / "kessmar.html";
  MemTable batch =
      MakeBatchToProcess("AB", "AB1", {{"A&B", 1}, {"say \"hi\"", 2}, {"<x>", -5}, {"caf\xE9", 1}});
  ASSERT_TRUE(WriteOrderPage(batch, page, "http://127.0.0.1:1/bestelling?a=1&b=2"));
  std::string bytes = ReadBytes(page);
  EXPECT_NE(bytes.find("<form action=\"http://127.0.0.1:1/bestelling?a=1&amp;b=2\" name=\"barcode\""
                       " method=\"post\">\r\n"),
            std::string::npos);
  EXPECT_NE(bytes.find("name=\"_b_val[0]\" value=\"A&amp;B\">\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("name=\"_b_val[1]\" value=\"say &quot;hi&quot;\">\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("name=\"_b_val[2]\" value=\"&lt;x&gt;\">\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("name=\"_b_num[2]\" value=\"-5\">\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("name=\"_b_val[3]\" value=\"caf\xE9\">\r\n"), std::string::npos);
}

TEST(OrderPage, EndpointFollowsKessmarShopUrl) {
  struct Case {
    std::optional<std::string> shopUrl;
    const char* endpoint;
  };
  for (const Case& c : {Case{std::nullopt, "https://www.kessmar.nl/bestelling"},
                        Case{"", "https://www.kessmar.nl/bestelling"},
                        Case{"http://127.0.0.1:8123", "http://127.0.0.1:8123/bestelling"},
                        Case{"http://127.0.0.1:8123/", "http://127.0.0.1:8123/bestelling"}}) {
    SCOPED_TRACE(c.shopUrl.value_or("(unset)"));
    testing::ScopedEnvironment env{{"KESSMAR_SHOP_URL", c.shopUrl}};
    EXPECT_EQ(OrderEndpointUrl(), c.endpoint);
  }
}

TEST(SendBatchToWebsite, WritesThePageAndOpensIt) {
  testing::ScopedEnvironment env{{"KESSMAR_SHOP_URL", "http://127.0.0.1:8123/"}};
  TempDir dir;
  RecordingShell shell;

  MemTable tooSmall(MemTable::ScanRecordFields());
  EXPECT_FALSE(SendBatchToWebsite(tooSmall, dir.Path(), shell));
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_TRUE(FolderContents(dir.Path()).empty());

  MemTable batch = MakeBatchToProcess("AB", "AB1", {{"1111", 1}});
  ASSERT_TRUE(SendBatchToWebsite(batch, dir.Path(), shell));
  ASSERT_EQ(shell.opened.size(), 1U);
  EXPECT_EQ(shell.opened[0], dir.Path() / "kessmar.html");
  EXPECT_NE(ReadBytes(shell.opened[0]).find("<form action=\"http://127.0.0.1:8123/bestelling\""),
            std::string::npos);
}

TEST(SendBatchToWebsite, WriteFailureThrowsAndKeepsThePreviousPage) {
  TempDir dir;
  RecordingShell shell;
  MemTable batch = MakeBatchToProcess("AB", "AB1", {{"1111", 1}});

  try {
    SendBatchToWebsite(batch, dir.Path() / "missing", shell);
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find((dir.Path() / "missing" / "kessmar.html").string()),
              std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(shell.opened.empty());

  // A disk that fills up while the page is written: the old page stays, no partial file.
  ASSERT_TRUE(SendBatchToWebsite(batch, dir.Path(), shell));
  std::string before = ReadBytes(dir.Path() / "kessmar.html");
  MemTable other = MakeBatchToProcess("CD", "CD2", {{"2222", 2}});
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const rlimit small{16, old.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(SendBatchToWebsite(other, dir.Path(), shell), std::runtime_error);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(ReadBytes(dir.Path() / "kessmar.html"), before);
  EXPECT_EQ(FolderContents(dir.Path()).size(), 1U);
  EXPECT_EQ(shell.opened.size(), 1U);
}

TEST(SendBatchToWebsite, NoBrowserIsNoSuccessAndNamesThePage) {
  TempDir dir;
  RecordingShell shell;
  shell.opens = false;
  MemTable batch = MakeBatchToProcess("AB", "AB1", {{"1111", 1}});
  try {
    SendBatchToWebsite(batch, dir.Path(), shell);
    ADD_FAILURE() << "a page no browser took counted as handed on";
  } catch (const HandOnError& e) {
    EXPECT_NE(std::string(e.what()).find((dir.Path() / "kessmar.html").string()), std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "kessmar.html"));  // to open by hand
}

}  // namespace
}  // namespace kessmar
