// Type-1 values by data type.
#include "opc/type1value.h"

#include <bit>

#include "link/byteorder.h"

namespace corvid {
namespace {

enum class Kind { kI4, kUI1, kI1, kI2, kR4, kUI2, kR8 };

Kind KindOf(std::uint8_t dtype) {
  switch (dtype) {
    case 1:
    case 2:
    case 254:
    case 255:
      return Kind::kUI1;
    case 3:
    case 10:
      return Kind::kI1;
    case 4:
      return Kind::kI2;
    case 6:
      return Kind::kR4;
    case 8:
      return Kind::kUI2;
    case 9:
      return Kind::kR8;
    default:
      break;
  }
  if ((dtype >= 11 && dtype <= 22) || (dtype >= 24 && dtype <= 26)) return Kind::kUI1;
  return Kind::kI4;  // 0, 5, 7, 23, 27..253
}

}  // namespace

Variant Type1ZeroValue(std::uint8_t dtype) {
  return Type1Value(dtype, FixedBytes<16>{});
}

Variant Type1Value(std::uint8_t dtype, const FixedBytes<16>& bytes) {
  const std::uint8_t* p = bytes.data();
  switch (KindOf(dtype)) {
    case Kind::kUI1:
      return Variant(p[0]);
    case Kind::kI1:
      return Variant(static_cast<std::int8_t>(p[0]));
    case Kind::kI2:
      return Variant(static_cast<std::int16_t>(wire::GetU16(p)));
    case Kind::kR4:
      return Variant(std::bit_cast<float>(wire::GetU32(p)));
    case Kind::kUI2:
      return Variant(wire::GetU16(p));
    case Kind::kR8:
      return Variant(std::bit_cast<double>(wire::GetU64(p)));
    case Kind::kI4:
      break;
  }
  return Variant(static_cast<std::int32_t>(wire::GetU32(p)));
}

}  // namespace corvid
