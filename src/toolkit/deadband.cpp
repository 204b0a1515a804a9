#include "toolkit/deadband.h"

#include <cmath>
#include <optional>

namespace corvid::toolkit {

namespace {

std::optional<double> Number(const Variant& v) {
  return std::visit(
      [](const auto& x) -> std::optional<double> {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bool>) {
          return std::nullopt;
        } else if constexpr (std::is_arithmetic_v<T>) {
          return static_cast<double>(x);
        } else if constexpr (std::is_same_v<T, DateValue>) {
          return x.days;
        } else {
          return std::nullopt;
        }
      },
      v.Value());
}

bool ScalarBeyond(const Variant& now, const Variant& sent, double band) {
  if (now.TypeCode() != sent.TypeCode()) return true;
  const std::optional<double> a = Number(now);
  const std::optional<double> b = Number(sent);
  if (!a || !b) return !(now == sent);
  if (std::isnan(*a) || std::isnan(*b)) return std::isnan(*a) != std::isnan(*b);
  return std::fabs(*a - *b) > band;
}

}  // namespace

bool BeyondDeadband(const Variant& now, const Variant& sent, double percent, double low,
                    double high) {
  const double band = percent / 100.0 * (high - low);
  const VariantArray* a = now.GetIf<VariantArray>();
  const VariantArray* b = sent.GetIf<VariantArray>();
  if (a == nullptr || b == nullptr) return ScalarBeyond(now, sent, band);
  if (a->ElementType() != b->ElementType() || a->size() != b->size()) return true;
  for (std::size_t i = 0; i < a->size(); ++i) {
    if (ScalarBeyond((*a)[i], (*b)[i], band)) return true;
  }
  return false;
}

}  // namespace corvid::toolkit
