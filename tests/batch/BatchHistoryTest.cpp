// The Data folder's batch files: last_read.dat, the dated history copies, and saving both.
#include "batch/BatchHistory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/LocalTime.h"
#include "support/ScanBatch.h"
#include "support/TempDir.h"

namespace kessmar {
namespace {

TEST(BatchHistory, NamesOfTheDataFolder) {
  EXPECT_EQ(LastReadPath("/data/"), "/data/last_read.dat");
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11;
  time.tm_mday = 8;
  time.tm_hour = 9;
  time.tm_min = 5;
  time.tm_sec = 7;
  EXPECT_EQ(HistoryFileName(time), "20261208-090507.dat");
  for (const char* name : {"last_read.dat", "20261208-090507.DAT", "x.Dat"}) {
    EXPECT_TRUE(IsBatchFileName(name)) << name;
  }
  for (const char* name : {"", "dat", "kessmar.html", "last_read.dat.tmp", "a.da"}) {
    EXPECT_FALSE(IsBatchFileName(name)) << name;
  }
}

TEST(BatchHistory, SavesTheLatestBatchAndADatedCopy) {
  testing::TempDir dir;
  const std::string data = dir.Path().string() + "/";
  const auto at = std::chrono::system_clock::from_time_t(1796729400);
  const WallClock clock = [at] { return at; };
  const MemTable batch = testing::ScanBatch("A1B2", "A1B220261208", {"8712345678906"});

  const auto copy = SaveBatchWithHistory(batch, data, clock);
  ASSERT_TRUE(copy);
  EXPECT_EQ(*copy, data + HistoryFileName(platform::LocalTime(at)));
  EXPECT_EQ(testing::ReadFile(*copy), testing::ReadFile(LastReadPath(data)));

  // A copy that cannot be written is given up; the latest batch is still saved.
  std::filesystem::remove(*copy);
  std::filesystem::create_directories(*copy / "in-the-way");
  std::filesystem::remove(LastReadPath(data));
  EXPECT_FALSE(SaveBatchWithHistory(batch, data, clock));
  EXPECT_TRUE(std::filesystem::exists(LastReadPath(data)));
}

}  // namespace
}  // namespace kessmar
