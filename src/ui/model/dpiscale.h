// Design sizes at 96 DPI scaled to the screen, and font sizes between points and pixels.
#pragma once

#include <cstdint>

namespace corvid {

inline constexpr std::int32_t kDesignDpi = 96;

// a × b / c rounded half away from zero, as the platform's MulDiv; 0 when c is 0.
std::int32_t MulDivRound(std::int32_t a, std::int32_t b, std::int32_t c);

// A length designed at 96 DPI, at `dpi`.
inline std::int32_t ScaleToDpi(std::int32_t design, std::int32_t dpi) {
  return MulDivRound(design, dpi, kDesignDpi);
}

// The (negative, character-height) pixel height of a font of `points` at `dpi`: −11 for 8 pt at
// 96 DPI.
inline std::int32_t FontHeightFromPoints(std::int32_t points, std::int32_t dpi) {
  return -MulDivRound(points, dpi, 72);
}
// Points of a font `height` pixels high (sign ignored) at `dpi`: 8 for −11 at 96 DPI.
std::int32_t FontPointsFromHeight(std::int32_t height, std::int32_t dpi);

}  // namespace corvid
