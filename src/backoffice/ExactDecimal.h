// Exact decimal arithmetic for prices. The back office's tables write every number as decimal
// text: a numeric field as it is stored, a floating-point field (discount percents, currency
// rates) as the shortest text that reads back as its value ("0.92", "12.5", "1e-05"). Reading
// that text as an exact decimal, and computing a price from such decimals as a fraction of
// integers that is rounded once, to 1/10000 with halves to even, keeps binary floating point
// out of every amount of money.
#pragma once

#include <string_view>

#include "dbclient/Currency.h"

namespace kessmar {

// digits x 10^exponent, exactly.
struct ExactDecimal {
  __int128 digits = 0;
  int exponent = 0;

  // "[+-]digits[.digits][(e|E)[+-]digits]" (".5" and "5." too). Trailing zeros of the digits
  // are folded into the exponent. Throws std::invalid_argument for any other text (empty,
  // spaces, "NaN", "Infinity") and std::out_of_range for more than 36 significant digits or an
  // exponent beyond +-4000.
  static ExactDecimal FromText(std::string_view text);
  static ExactDecimal FromInteger(long long value) { return {value, 0}; }

  bool IsZero() const { return digits == 0; }
};

// The currency value nearest to value, halves to even. Throws std::overflow_error when it does
// not fit a currency value.
dbclient::Currency RoundToCurrency(const ExactDecimal& value);

// price x numerator / denominator, rounded once to 1/10000, halves to even (a price converted
// by a currency's rate valu_waarde / valu_eenheid). Throws std::domain_error when denominator
// is zero, std::overflow_error when an intermediate value or the result does not fit.
dbclient::Currency ScaleCurrency(dbclient::Currency price, const ExactDecimal& numerator,
                                 const ExactDecimal& denominator);

// price x (100 - percent) / 100, rounded once to 1/10000, halves to even: a price lowered by a
// discount percent. Throws std::overflow_error as ScaleCurrency.
dbclient::Currency DiscountedPrice(dbclient::Currency price, const ExactDecimal& percent);

// A money amount written as decimal text (a numeric or floating-point field), rounded to
// 1/10000, halves to even. Throws what ExactDecimal::FromText and RoundToCurrency throw.
dbclient::Currency CurrencyFromDecimalText(std::string_view text);

}  // namespace kessmar
