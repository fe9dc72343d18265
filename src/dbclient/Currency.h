// Money with four decimals: an exact count of 1/10000 units in 64 bits. The back office holds
// every amount this way (numeric(19,4) on the server) and never passes one through binary
// floating point on the way in or out.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace kessmar::dbclient {

class Currency {
 public:
  static constexpr int64_t kUnitsPerWhole = 10000;

  constexpr Currency() = default;
  // count of 1/10000 units: FromUnits(148140) is 14.8140.
  static constexpr Currency FromUnits(int64_t units) { return Currency(units); }

  // A decimal text: optional "-" or "+", digits, optionally "." and digits ("14.814", "-0.5",
  // "3"). Digits beyond the fourth decimal must be zeros. Throws std::invalid_argument for any
  // other text (spaces, exponents, empty) or a value that needs more than four decimals, and
  // std::out_of_range when the value does not fit.
  static Currency FromText(std::string_view text);

  // The nearest multiple of 1/10000 to value, halves to even, computed exactly from the binary
  // value (2.00005 is stored as slightly less than that and so becomes 2.0000). Throws
  // std::invalid_argument for NaN or infinity, std::out_of_range when it does not fit.
  static Currency FromDouble(double value);

  int64_t Units() const { return units_; }
  // Text with exactly four decimals: "14.8140", "-0.5000", "0.0000".
  std::string ToText() const;
  // The nearest double; for display and floating-point formulas only.
  double ToDouble() const { return static_cast<double>(units_) / kUnitsPerWhole; }

  // Exact arithmetic; throws std::overflow_error when the result does not fit.
  Currency operator+(Currency other) const;
  Currency operator-(Currency other) const;
  Currency operator-() const;
  Currency operator*(int64_t factor) const;
  Currency& operator+=(Currency other) { return *this = *this + other; }
  Currency& operator-=(Currency other) { return *this = *this - other; }

  friend constexpr auto operator<=>(Currency, Currency) = default;
  friend constexpr bool operator==(Currency, Currency) = default;

 private:
  constexpr explicit Currency(int64_t units) : units_(units) {}
  int64_t units_ = 0;
};

}  // namespace kessmar::dbclient
