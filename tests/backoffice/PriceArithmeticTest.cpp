// The arithmetic of prices without a server: exact decimals and their rounding, discount and
// currency factors, the patterns of discount rules, the article code's display form.
#include <gtest/gtest.h>

#include <stdexcept>

#include "backoffice/CodePattern.h"
#include "backoffice/ExactDecimal.h"
#include "backoffice/OrderCreation.h"

namespace kessmar {
namespace {

using dbclient::Currency;

std::string Text(Currency value) {
  return value.ToText();
}

Currency C(const char* text) {
  return Currency::FromText(text);
}

ExactDecimal D(const char* text) {
  return ExactDecimal::FromText(text);
}

TEST(ExactDecimalTest, ReadsTheTextsTheServerWrites) {
  EXPECT_EQ(Text(CurrencyFromDecimalText("129.9500")), "129.9500");
  EXPECT_EQ(Text(CurrencyFromDecimalText("0.92")), "0.9200");
  EXPECT_EQ(Text(CurrencyFromDecimalText("-12")), "-12.0000");
  EXPECT_EQ(Text(CurrencyFromDecimalText("1e-05")), "0.0000");
  EXPECT_EQ(Text(CurrencyFromDecimalText("1.5e2")), "150.0000");
  EXPECT_EQ(Text(CurrencyFromDecimalText("1234567890123.4567")), "1234567890123.4567");
  // Halves go to the even neighbour, read from the decimal text itself.
  EXPECT_EQ(Text(CurrencyFromDecimalText("0.00005")), "0.0000");
  EXPECT_EQ(Text(CurrencyFromDecimalText("0.00015")), "0.0002");
  EXPECT_EQ(Text(CurrencyFromDecimalText("0.00025")), "0.0002");
  EXPECT_EQ(Text(CurrencyFromDecimalText("-0.00015")), "-0.0002");
  EXPECT_EQ(Text(CurrencyFromDecimalText("2.00005")), "2.0000");
  EXPECT_EQ(Text(CurrencyFromDecimalText("2.000050001")), "2.0001");
  EXPECT_EQ(D("12.5000").digits, 125);
  EXPECT_EQ(D("12.5000").exponent, -1);

  for (const char* bad :
       {"", " 1", "1 ", "NaN", "Infinity", "-Infinity", "1.2.3", "1e", "abc", "+", "."}) {
    EXPECT_THROW(D(bad), std::invalid_argument) << bad;
  }
  EXPECT_THROW(D("1e5000"), std::out_of_range);
  EXPECT_THROW(CurrencyFromDecimalText("1e300"), std::overflow_error);
}

TEST(ExactDecimalTest, DiscountsAndCurrencyRatesAreRoundedOnceHalvesToEven) {
  // 10 % off a column price of 100.0000.
  EXPECT_EQ(Text(DiscountedPrice(C("100"), D("10"))), "90.0000");
  // 1.2345 x 0.9 = 1.11105 exactly: the half goes to the even 1.1110.
  EXPECT_EQ(Text(DiscountedPrice(C("1.2345"), D("10"))), "1.1110");
  // 1.0003 x 0.5 = 0.50015: 0.5002. Binary floating point makes this 0.50014999... (0.5001).
  EXPECT_EQ(Text(DiscountedPrice(C("1.0003"), D("50"))), "0.5002");
  EXPECT_EQ(Text(DiscountedPrice(C("1.2345"), D("12.5"))), "1.0802");  // 1.0801875
  EXPECT_EQ(Text(DiscountedPrice(C("50"), D("7.3"))), "46.3500");
  EXPECT_EQ(Text(DiscountedPrice(C("10"), D("-5"))), "10.5000");  // a surcharge
  EXPECT_EQ(Text(DiscountedPrice(C("10"), D("0"))), "10.0000");
  EXPECT_EQ(Text(DiscountedPrice(C("-3"), D("33.3333"))), "-2.0000");

  EXPECT_EQ(Text(ScaleCurrency(C("7.25"), D("0.92"), D("1"))), "6.6700");
  EXPECT_EQ(Text(ScaleCurrency(C("1.0001"), D("0.5"), D("1"))), "0.5000");  // 0.50005
  EXPECT_EQ(Text(ScaleCurrency(C("1.0003"), D("0.5"), D("1"))), "0.5002");  // 0.50015
  EXPECT_EQ(Text(ScaleCurrency(C("10"), D("1"), D("3"))), "3.3333");
  EXPECT_EQ(Text(ScaleCurrency(C("20"), D("1"), D("3"))), "6.6667");
  EXPECT_EQ(Text(ScaleCurrency(C("157.24"), D("1"), D("100"))), "1.5724");
  EXPECT_EQ(Text(ScaleCurrency(C("0.0003"), D("1"), D("2"))), "0.0002");  // 0.00015
  EXPECT_EQ(Text(ScaleCurrency(C("99.99"), D("0"), D("1"))), "0.0000");
  EXPECT_THROW(ScaleCurrency(C("1"), D("1"), D("0")), std::domain_error);
  EXPECT_THROW(ScaleCurrency(C("900000000000000"), D("1e20"), D("1")), std::overflow_error);
}

TEST(CodePatternTest, EveryRuleOfAPattern) {
  // The back office's own examples.
  EXPECT_FALSE(MatchCodePart("13", "!13,1*"));
  EXPECT_TRUE(MatchCodePart("15", "!13,1*"));
  EXPECT_FALSE(MatchCodePart("25", "!13,1*"));
  for (const char* part : {"1", "35", "99", "A"}) {
    EXPECT_TRUE(MatchCodePart(part, "*")) << part;
    EXPECT_TRUE(MatchCodePart(part, "9*")) << part;  // 9 binds no star
  }
  EXPECT_FALSE(MatchCodePart("", "*"));  // an empty part never matches
  EXPECT_FALSE(MatchCodePart("", ""));
  // Exclusion comes before everything else.
  EXPECT_FALSE(MatchCodePart("35", "35,!35"));
  EXPECT_FALSE(MatchCodePart("3", "*,!3"));
  // Plain substring: a one-character part matches every pattern holding it.
  EXPECT_TRUE(MatchCodePart("35", "12,35"));
  EXPECT_TRUE(MatchCodePart("3", "12,35"));
  EXPECT_TRUE(MatchCodePart("3", "435"));
  EXPECT_FALSE(MatchCodePart("36", "12,35"));  // no star: nothing else matches
  EXPECT_FALSE(MatchCodePart("1", ""));
  // First character and star, star and second character.
  EXPECT_TRUE(MatchCodePart("35", "3*"));
  EXPECT_TRUE(MatchCodePart("35", "*5"));
  EXPECT_FALSE(MatchCodePart("35", "4*"));
  EXPECT_FALSE(MatchCodePart("35", "*4"));
  EXPECT_FALSE(MatchCodePart("35", "*3"));  // the second character is 5, not 3
  // Free stars: neighbours 1 to 8 bind a star; 0, 9, other characters and the ends do not.
  EXPECT_TRUE(MatchCodePart("35", "0*"));
  EXPECT_TRUE(MatchCodePart("35", "*0"));
  EXPECT_TRUE(MatchCodePart("35", "1*,*"));
  EXPECT_TRUE(MatchCodePart("35", "a*b"));
  EXPECT_TRUE(MatchCodePart("35", "4*,9*"));
  EXPECT_FALSE(MatchCodePart("35", "1*,4*,*8"));
  EXPECT_FALSE(MatchCodePart("35", "8*1"));
  EXPECT_FALSE(MatchCodePart("35", "1*2"));
}

TEST(CodePatternTest, ArticleCodeParts) {
  using Parts = std::array<std::string, 5>;
  EXPECT_EQ(ArticleCodeParts("12345678"), (Parts{"1", "23", "45", "67", "8"}));
  EXPECT_EQ(ArticleCodeParts("1234567890"), (Parts{"1", "23", "45", "67", "8"}));
  EXPECT_EQ(ArticleCodeParts("123456"), (Parts{"1", "23", "45", "6", ""}));
  EXPECT_EQ(ArticleCodeParts(""), (Parts{"", "", "", "", ""}));
}

TEST(FormatArticleCodeTest, OnlyEightCharacterCodesGetTheirDots) {
  EXPECT_EQ(FormatArticleCode("12345678"), "1.23.45.67-8");
  EXPECT_EQ(FormatArticleCode("1234567"), "1234567");
  EXPECT_EQ(FormatArticleCode("123456789"), "123456789");
  EXPECT_EQ(FormatArticleCode("ABCDEFGH"), "A.BC.DE.FG-H");
  EXPECT_EQ(FormatArticleCode(""), "");
}

}  // namespace
}  // namespace kessmar
