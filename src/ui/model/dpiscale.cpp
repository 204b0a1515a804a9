// DPI and font-size arithmetic.
#include "ui/model/dpiscale.h"

#include <cstdlib>
#include <limits>

namespace corvid {

std::int32_t MulDivRound(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
  const std::int64_t result = (product < 0) != (c < 0) ? -magnitude : magnitude;
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(result > kMax ? kMax : (result < kMin ? kMin : result));
}

std::int32_t FontPointsFromHeight(std::int32_t height, std::int32_t dpi) {
  return MulDivRound(height < 0 ? -height : height, 72, dpi);
}

}  // namespace corvid
