// The lazy bindings against the real libraries: nothing is loaded before the first call, the
// calls reach the library with their arguments intact (the variadic ones of libcurl included),
// and a library that cannot be found is an error naming it, which a later call may overcome.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <openssl/evp.h>

#include <cstdlib>

#include "platform/archive/Archive.h"
#include "platform/lazy/Libraries.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace kessmar::testing {
namespace {

bool Mapped(const std::string& library) {
  return ReadFile("/proc/self/maps").find(library) != std::string::npos;
}

TEST(LazyLibraryTest, LibcryptoIsLoadedByTheFirstCallAndComputesSha256) {
  ASSERT_FALSE(Mapped("libcrypto.so"));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  ASSERT_EQ(EVP_Digest("abc", 3, digest, &size, EVP_sha256(), nullptr), 1);
  EXPECT_TRUE(Mapped("libcrypto.so"));
  ASSERT_EQ(size, 32u);
  EXPECT_EQ(digest[0], 0xba);
  EXPECT_EQ(digest[31], 0xad);
  EXPECT_NO_THROW(platform::RequireLibcrypto());
}

TEST(LazyLibraryTest, AnUnfindableLibraryIsAnErrorNamingItUntilItCanBeFound) {
  TempDir dir;
  const std::string missing = (dir / "libpq.so.5").string();
  ScopedEnvironment unfindable{{"KESSMAR_LIBPQ", missing}};
  try {
    platform::RequireLibpq();
    ADD_FAILURE() << "no error";
  } catch (const platform::LibraryUnavailable& e) {
    EXPECT_EQ(e.Library(), "libpq.so.5");
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  // A call into the library fails the same way, as an exception the caller's handler sees.
  EXPECT_THROW(PQlibVersion(), platform::LibraryUnavailable);
  EXPECT_FALSE(Mapped("libpq.so"));

  unfindable.Restore();
  EXPECT_GE(PQlibVersion(), 150000);
  EXPECT_TRUE(Mapped("libpq.so"));
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// A file:// transfer exercises every kind of option argument: long, pointer, function, off_t.
TEST(LazyLibraryTest, LibcurlOptionsOfEveryTypeArriveIntact) {
  TempDir dir;
  WriteFile(dir / "body.txt", std::string(1000, 'x'));
  const std::string url = "file://" + (dir / "body.txt").string();
  CURL* curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  std::string body;
  EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body), CURLE_OK);
  ASSERT_EQ(curl_easy_perform(curl), CURLE_OK);
  EXPECT_EQ(body, std::string(1000, 'x'));
  curl_off_t received = 0;
  EXPECT_EQ(curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &received), CURLE_OK);
  EXPECT_EQ(received, 1000);

  // A start offset, as an off_t: the rest of the file arrives.
  body.clear();
  EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, curl_off_t{600}), CURLE_OK);
  ASSERT_EQ(curl_easy_perform(curl), CURLE_OK);
  EXPECT_EQ(body.size(), 400u);
  curl_easy_cleanup(curl);

  CURLM* multi = curl_multi_init();
  EXPECT_EQ(curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 3L), CURLM_OK);
  EXPECT_EQ(curl_multi_setopt(multi, CURLMOPT_PIPELINING, long{CURLPIPE_MULTIPLEX}), CURLM_OK);
  curl_multi_cleanup(multi);
}

TEST(LazyLibraryTest, WithoutLibmspackAnExpansionFailsNamingIt) {
  TempDir dir;
  // An SZDD header, so that the expansion gets as far as the decompressor.
  WriteFile(dir / "file.ex_", std::string("SZDD\x88\xf0\x27\x33"
                                          "A"
                                          "e\x04\0\0\0",
                                          14) +
                                  "data");
  ScopedEnvironment unfindable{{"KESSMAR_LIBMSPACK", (dir / "libmspack.so.0").string()}};
  try {
    platform::ExpandSzdd(dir / "file.ex_", dir / "file.exe");
    ADD_FAILURE() << "no error";
  } catch (const platform::ArchiveError& e) {
    EXPECT_NE(std::string(e.what()).find("libmspack.so.0"), std::string::npos) << e.what();
  }
  unfindable.Restore();
  EXPECT_FALSE(std::filesystem::exists(dir / "file.exe"));
  EXPECT_FALSE(Mapped("libmspack.so"));
}

}  // namespace
}  // namespace kessmar::testing

namespace kessmar::testing {
namespace {

// libcurl goes after the last use and comes back for the next one.
TEST(LazyLibraryTest, LibcurlIsUnloadedAfterItsLastUseAndLoadedAgainForTheNext) {
  TempDir dir;
  WriteFile(dir / "body.txt", "hello");
  const std::string url = "file://" + (dir / "body.txt").string();
  for (int round = 0; round < 3; ++round) {
    {
      platform::LibcurlUse use;
      EXPECT_TRUE(Mapped("libcurl.so"));
      CURL* curl = curl_easy_init();
      ASSERT_NE(curl, nullptr);
      std::string body;
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
      EXPECT_EQ(curl_easy_perform(curl), CURLE_OK);
      char* path = nullptr;
      EXPECT_EQ(curl_easy_getinfo(curl, CURLINFO_CAPATH, &path), CURLE_OK);
      curl_easy_cleanup(curl);
      EXPECT_EQ(body, "hello");
    }
    EXPECT_EQ(Mapped("libcurl.so"), !platform::LibcurlUnloadsAfterUse()) << "round " << round;
  }
}

}  // namespace
}  // namespace kessmar::testing
