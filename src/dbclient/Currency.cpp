#include "dbclient/Currency.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace kessmar::dbclient {
namespace {

[[noreturn]] void NotCurrency(std::string_view text, const char* why) {
  throw std::invalid_argument("\"" + std::string(text) + "\" is not a currency value: " + why);
}

}  // namespace

Currency Currency::FromText(std::string_view text) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Accumulate as a negative number so that the most negative value fits.
  int64_t units = 0;
  bool anyDigit = false;
  auto addDigit = [&](char c, int64_t scale) {
    int64_t next = 0;
    if (__builtin_mul_overflow(units, int64_t{10}, &next) ||
        __builtin_sub_overflow(next, static_cast<int64_t>(c - '0') * scale, &next)) {
      throw std::out_of_range("\"" + std::string(text) + "\" is too large for a currency value");
    }
    units = next;
  };
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    addDigit(text[pos], 1);
    anyDigit = true;
  }
  // units now counts whole values; scale to 1/10000 as the decimals arrive.
  int decimals = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
      anyDigit = true;
      if (decimals < 4) {
        addDigit(text[pos], 1);
        ++decimals;
      } else if (text[pos] != '0') {
        NotCurrency(text, "more than four decimals");
      }
    }
  }
  if (!anyDigit) NotCurrency(text, "no digits");
  if (pos != text.size()) NotCurrency(text, "unexpected character");
  for (; decimals < 4; ++decimals) {
    if (__builtin_mul_overflow(units, int64_t{10}, &units)) {
      throw std::out_of_range("\"" + std::string(text) + "\" is too large for a currency value");
    }
  }
  if (!negative) {
    if (units == std::numeric_limits<int64_t>::min()) {
      throw std::out_of_range("\"" + std::string(text) + "\" is too large for a currency value");
    }
    units = -units;
  }
  return Currency(units);
}

Currency Currency::FromDouble(double value) {
  if (!std::isfinite(value)) {
    throw std::invalid_argument("a currency value cannot be NaN or infinite");
  }
  if (value == 0) return Currency(0);
  // value = mantissa * 2^exponent exactly, mantissa a 53-bit integer.
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  const auto mantissa = static_cast<unsigned __int128>(std::ldexp(fraction, 53));
  exponent -= 53;
  const unsigned __int128 scaled = mantissa * kUnitsPerWhole;  // < 2^67, exact
  unsigned __int128 units = 0;
  if (exponent >= 0) {
    // At least 2^52 whole units: far beyond the range.
    throw std::out_of_range("currency value out of range");
  }
  if (exponent < -120) {
    units = 0;  // far below half a unit
  } else {
    const int shift = -exponent;
    units = scaled >> shift;
    const unsigned __int128 remainder = scaled - (units << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (remainder > half || (remainder == half && (units & 1) != 0)) ++units;
  }
  if (units > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) {
    throw std::out_of_range("currency value out of range");
  }
  const auto magnitude = static_cast<int64_t>(units);
  return Currency(value < 0 ? -magnitude : magnitude);
}

std::string Currency::ToText() const {
  // Work with the magnitude in unsigned arithmetic so that the most negative value prints.
  const bool negative = units_ < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(units_) : static_cast<uint64_t>(units_);
  std::string decimals = std::to_string(magnitude % kUnitsPerWhole);
  decimals.insert(0, 4 - decimals.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / kUnitsPerWhole) + "." + decimals;
}

Currency Currency::operator+(Currency other) const {
  int64_t result = 0;
  if (__builtin_add_overflow(units_, other.units_, &result)) {
    throw std::overflow_error("currency overflow in " + ToText() + " + " + other.ToText());
  }
  return Currency(result);
}

Currency Currency::operator-(Currency other) const {
  int64_t result = 0;
  if (__builtin_sub_overflow(units_, other.units_, &result)) {
    throw std::overflow_error("currency overflow in " + ToText() + " - " + other.ToText());
  }
  return Currency(result);
}

Currency Currency::operator-() const {
  return Currency(0) - *this;
}

Currency Currency::operator*(int64_t factor) const {
  int64_t result = 0;
  if (__builtin_mul_overflow(units_, factor, &result)) {
    throw std::overflow_error("currency overflow in " + ToText() + " * " + std::to_string(factor));
  }
  return Currency(result);
}

}  // namespace kessmar::dbclient
