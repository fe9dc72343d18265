#include "backoffice/ExactDecimal.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace kessmar {
namespace {

using Wide = __int128;
using dbclient::Currency;

constexpr int kMaxDigits = 36;
constexpr int kMaxExponent = 4000;

[[noreturn]] void Overflow() {
  throw std::overflow_error("a price calculation went beyond the range of currency values");
}

Wide Multiply(Wide a, Wide b) {
  Wide product = 0;
  if (__builtin_mul_overflow(a, b, &product)) Overflow();
  return product;
}

Wide Subtract(Wide a, Wide b) {
  Wide difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) Overflow();
  return difference;
}

// 10^n for 0 <= n <= 38.
Wide PowerOfTen(int n) {
  if (n < 0 || n > 38) Overflow();
  Wide power = 1;
  for (int i = 0; i < n; ++i) power *= 10;
  return power;
}

// value x 10^n, n >= 0.
Wide Shift(Wide value, int n) {
  if (value == 0) return 0;
  return Multiply(value, PowerOfTen(n));
}

// numerator / denominator to the nearest integer, halves to even.
Currency RoundQuotient(Wide numerator, Wide denominator) {
  if (denominator == 0) throw std::domain_error("a price calculation divides by zero");
  if (denominator < 0) {
    numerator = Subtract(0, numerator);
    denominator = -denominator;
  }
  const bool negative = numerator < 0;
  const Wide magnitude = negative ? Subtract(0, numerator) : numerator;
  Wide quotient = magnitude / denominator;
  const Wide remainder = magnitude % denominator;
  // 2 x remainder compared with the denominator, without overflowing.
  if (remainder > denominator - remainder ||
      (remainder == denominator - remainder && quotient % 2 != 0)) {
    ++quotient;
  }
  const Wide result = negative ? -quotient : quotient;
  if (result > std::numeric_limits<int64_t>::max() ||
      result < std::numeric_limits<int64_t>::min()) {
    Overflow();
  }
  return Currency::FromUnits(static_cast<int64_t>(result));
}

// value as a fraction numerator / denominator with denominator > 0.
struct Fraction {
  Wide numerator;
  Wide denominator;
};

Fraction AsFraction(const ExactDecimal& value) {
  if (value.exponent >= 0) return {Shift(value.digits, value.exponent), 1};
  return {value.digits, PowerOfTen(-value.exponent)};
}

}  // namespace

ExactDecimal ExactDecimal::FromText(std::string_view text) {
  const std::string original(text);
  auto invalid = [&original](const char* why) {
    throw std::invalid_argument("\"" + original + "\" is not a decimal number: " + why);
  };
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  Wide digits = 0;
  int significant = 0;
  int exponent = 0;
  bool anyDigit = false;
  bool fraction = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '.' && !fraction) {
      fraction = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    anyDigit = true;
    if (digits == 0 && c == '0') {
      if (fraction) --exponent;  // a leading zero after the point only scales
      continue;
    }
    if (++significant > kMaxDigits) {
      throw std::out_of_range("\"" + original + "\" has too many digits for a price calculation");
    }
    digits = digits * 10 + (c - '0');
    if (fraction) --exponent;
  }
  if (!anyDigit) invalid("no digits");
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    bool negativeExponent = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
      negativeExponent = text[pos] == '-';
      ++pos;
    }
    int written = 0;
    bool exponentDigit = false;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
      exponentDigit = true;
      written = written * 10 + (text[pos] - '0');
      if (written > kMaxExponent) {
        throw std::out_of_range("\"" + original + "\" is out of the range of a price calculation");
      }
    }
    if (!exponentDigit) invalid("no digits in the exponent");
    exponent += negativeExponent ? -written : written;
  }
  if (pos != text.size()) invalid("unexpected character");
  if (digits == 0) return {0, 0};
  while (digits % 10 == 0) {
    digits /= 10;
    ++exponent;
  }
  if (exponent > kMaxExponent || exponent < -kMaxExponent) {
    throw std::out_of_range("\"" + original + "\" is out of the range of a price calculation");
  }
  return {negative ? -digits : digits, exponent};
}

Currency RoundToCurrency(const ExactDecimal& value) {
  // units = value x 10^4
  const int scale = value.exponent + 4;
  if (scale >= 0) return RoundQuotient(Shift(value.digits, scale), 1);
  if (-scale > 38) return Currency();  // far below half a unit
  return RoundQuotient(value.digits, PowerOfTen(-scale));
}

Currency ScaleCurrency(Currency price, const ExactDecimal& numerator,
                       const ExactDecimal& denominator) {
  if (denominator.IsZero()) throw std::domain_error("a price calculation divides by zero");
  if (price.Units() == 0 || numerator.IsZero()) return Currency();
  // units x (n x 10^a) / (d x 10^b) = units x n x 10^(a-b) / d
  const int shift = numerator.exponent - denominator.exponent;
  Wide top = Multiply(price.Units(), numerator.digits);
  Wide bottom = denominator.digits;
  if (shift >= 0) {
    top = Shift(top, shift);
  } else {
    bottom = Shift(bottom, -shift);
  }
  return RoundQuotient(top, bottom);
}

Currency DiscountedPrice(Currency price, const ExactDecimal& percent) {
  // (100 - percent) / 100 as a fraction, then one rounding.
  const Fraction p = AsFraction(percent);
  const Wide remaining = Subtract(Multiply(100, p.denominator), p.numerator);
  return RoundQuotient(Multiply(price.Units(), remaining), Multiply(100, p.denominator));
}

Currency CurrencyFromDecimalText(std::string_view text) {
  return RoundToCurrency(ExactDecimal::FromText(text));
}

}  // namespace kessmar
