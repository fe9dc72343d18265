#include "update/TransferRate.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kessmar {
namespace {

// value (with at most two decimals) in its shortest form: "1,25", "1,3", "2".
QString ShortNumber(double value, const QLocale& locale) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  std::string s(text, result.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  QString out = QString::fromStdString(s);
  out.replace(QLatin1Char('.'), locale.decimalPoint());
  return out;
}

}  // namespace

QString TransferRateText(int64_t bytes, int64_t elapsedMs, const QLocale& locale) {
  // std::nearbyint rounds halves to the even neighbour in the default rounding mode.
  const double rate = std::nearbyint(static_cast<double>(bytes) / static_cast<double>(elapsedMs));
  if (rate >= 1000) {
    return ShortNumber(std::nearbyint(rate * 100 / 1000) / 100, locale) + QStringLiteral(" Mb/s");
  }
  return ShortNumber(rate, locale) + QStringLiteral(" Kb/s");
}

}  // namespace kessmar
