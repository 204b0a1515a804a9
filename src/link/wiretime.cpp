// Exact FILETIME <-> TDateTime conversion of the wire.
#include "link/wiretime.h"

#include <cmath>

namespace corvid {

namespace {
// 94353120000000000 is exactly 109205 days.
constexpr std::int64_t kDaysOf1899 = kFileTimeOf1899 / kFileTimePerDay;
static_assert(kDaysOf1899 * kFileTimePerDay == kFileTimeOf1899);
}  // namespace

TDateTime WireFileTimeToDateTime(std::int64_t v) {
  const std::int64_t days = v / kFileTimePerDay;  // both truncated toward zero
  const std::int64_t rest = v % kFileTimePerDay;
  return static_cast<double>(days - kDaysOf1899) +
         static_cast<double>(rest) / static_cast<double>(kFileTimePerDay);
}

std::int64_t DateTimeToWireFileTime(TDateTime d) {
  const double product = d * static_cast<double>(kFileTimePerDay);
  // Within this range the product plus the constant fits an i64.
  constexpr double kLimit = 9.0e18;
  if (!std::isfinite(product) || product > kLimit || product < -kLimit) return 0;
  // trunc(product + C) with C an integer: floor(product) + C when the sum is not negative,
  // ceil(product) + C otherwise; exact where adding the large constant in doubles is not.
  const double sum = product + static_cast<double>(kFileTimeOf1899);
  const double whole = sum >= 0 ? std::floor(product) : std::ceil(product);
  return static_cast<std::int64_t>(whole) + kFileTimeOf1899;
}

}  // namespace corvid
