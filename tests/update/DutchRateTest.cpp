// The transfer rate in the system's number format, with the system set to Dutch before the
// application starts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <cstdlib>

#include "support/RecordingMessages.h"
#include "update/TfrmUpdate.h"
#include "update/TransferRate.h"

namespace kessmar::testing {
namespace {

TEST(DutchTransferRate, UsesTheDecimalComma) {
  ASSERT_EQ(QLocale::system().decimalPoint(), ",");
  RecordingMessages messages;
  RecordingShell shell;
  TfrmUpdate window(messages, shell);
  uint32_t tick = 100;
  window.TickCount = [&] { return tick; };
  window.WebUpdateFileProgress("f", 0, 10'000);
  tick += 4;
  window.WebUpdateFileProgress("f", 5000, 10'000);  // 1250 bytes per millisecond
  EXPECT_EQ(window.lblSpeed->text(), "1,25 Mb/s");
  tick += 1;
  window.WebUpdateFileProgress("f", 5000, 10'000);
  EXPECT_EQ(window.lblSpeed->text(), "1 Mb/s");
  EXPECT_EQ(TransferRateText(512, 1, QLocale::system()), "512 Kb/s");
  EXPECT_EQ(TransferRateText(1'234'567, 1, QLocale::system()), "1234,57 Mb/s");
  EXPECT_EQ(TransferRateText(1255, 1, QLocale::system()), "1,26 Mb/s");  // 125.5 to even: 126
  EXPECT_EQ(TransferRateText(1245, 1, QLocale::system()), "1,24 Mb/s");  // 124.5 to even: 124
}

}  // namespace
}  // namespace kessmar::testing

int main(int argc, char** argv) {
  setenv("LC_ALL", "nl_NL.UTF-8", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
