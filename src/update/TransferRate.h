// The transfer rate text of the update window.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

namespace kessmar {

// The rate of `bytes` received in `elapsedMs` milliseconds (elapsedMs > 0): bytes per
// millisecond rounded to the nearest integer (halves to the even neighbour); from 1000 on it is
// shown in hundredths of "Mb/s" (rounded the same way), else as "Kb/s". Numbers are written in
// their shortest form with the locale's decimal separator and no group separators:
// "1,25 Mb/s" under a Dutch locale, "512 Kb/s".
QString TransferRateText(int64_t bytes, int64_t elapsedMs, const QLocale& locale);

}  // namespace kessmar
