// Money and date-time values: exact text in and out, rounding from floating point, overflow.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "dbclient/Currency.h"
#include "dbclient/DateTime.h"

namespace kessmar::dbclient {
namespace {

TEST(CurrencyTest, DecimalTextIsExactBothWays) {
  EXPECT_EQ(Currency::FromText("14.814").Units(), 148140);
  EXPECT_EQ(Currency::FromText("-0.5").ToText(), "-0.5000");
  EXPECT_EQ(Currency::FromText("+3").ToText(), "3.0000");
  EXPECT_EQ(Currency::FromText(".25").ToText(), "0.2500");
  EXPECT_EQ(Currency::FromText("1.23450000").ToText(), "1.2345");  // trailing zeros are exact
  EXPECT_EQ(Currency::FromText("922337203685477.5807").Units(),
            std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Currency::FromText("-922337203685477.5808").ToText(), "-922337203685477.5808");
  for (const char* bad : {"", "-", ".", "1.23456", "1e3", " 1", "1 ", "1,5", "0x10", "1.2.3"}) {
    EXPECT_THROW(Currency::FromText(bad), std::invalid_argument) << bad;
  }
  EXPECT_THROW(Currency::FromText("922337203685477.5808"), std::out_of_range);
  EXPECT_THROW(Currency::FromText("99999999999999999999"), std::out_of_range);
}

TEST(CurrencyTest, FloatingPointRoundsToNearestHalvesToEven) {
  // 1/32 and 3/32 are exact binary halves of a unit: they go to the even neighbour.
  EXPECT_EQ(Currency::FromDouble(0.03125).ToText(), "0.0312");
  EXPECT_EQ(Currency::FromDouble(0.09375).ToText(), "0.0938");
  EXPECT_EQ(Currency::FromDouble(-0.03125).ToText(), "-0.0312");
  // 2.00005 is stored a little below the half, 2.00015 a little above: no double rounding.
  EXPECT_EQ(Currency::FromDouble(2.00005).ToText(), "2.0000");
  EXPECT_EQ(Currency::FromDouble(2.00015).ToText(), "2.0002");
  EXPECT_EQ(Currency::FromDouble(100.0 * 0.9).ToText(), "90.0000");
  EXPECT_EQ(Currency::FromDouble(1e-30).Units(), 0);
  EXPECT_THROW(Currency::FromDouble(std::numeric_limits<double>::quiet_NaN()),
               std::invalid_argument);
  EXPECT_THROW(Currency::FromDouble(1e300), std::out_of_range);
}

TEST(CurrencyTest, ArithmeticIsExactAndRefusesOverflow) {
  const Currency price = Currency::FromText("1.2345");
  EXPECT_EQ((price * 12).ToText(), "14.8140");
  EXPECT_EQ((price - Currency::FromText("2")).ToText(), "-0.7655");
  Currency total;
  for (int i = 0; i < 10; ++i) total += Currency::FromText("0.1");
  EXPECT_EQ(total, Currency::FromText("1"));
  EXPECT_LT(Currency::FromText("-1"), Currency());
  EXPECT_THROW(Currency::FromUnits(std::numeric_limits<int64_t>::max()) * 2, std::overflow_error);
  EXPECT_THROW(-Currency::FromUnits(std::numeric_limits<int64_t>::min()), std::overflow_error);
}

TEST(DateTimeTest, TextRoundTripsAndImpossibleDatesAreRefused) {
  const DateTime moment = DateTime::FromText("2024-02-29 23:59:58.000123");
  EXPECT_EQ(moment.year, 2024);
  EXPECT_EQ(moment.microsecond, 123);
  EXPECT_EQ(moment.ToText(), "2024-02-29 23:59:58.000123");
  EXPECT_EQ(DateTime::FromText("2024-03-01").ToText(), "2024-03-01 00:00:00");
  EXPECT_EQ(DateTime::FromText("2024-03-01T10:11").ToText(), "2024-03-01 10:11:00");
  for (const char* bad :
       {"2023-02-29", "2024-13-01", "2024-01-01 24:00", "2024-1-01", "2024-01-01 10:00:00.",
        "2024-01-01 10:00:00.1234567", "", "2024-01-01 10:00:00 +02"}) {
    EXPECT_THROW(DateTime::FromText(bad), std::invalid_argument) << bad;
  }
  const DateTime now = DateTime::Now();
  EXPECT_GE(now.year, 2024);
}

}  // namespace
}  // namespace kessmar::dbclient
