// The OPC value of a type-1 channel: the item type that its data type (DTYPE) gives, and the value
// that the 16 value bytes of a state record hold for it.
//
// DTYPE             item type   taken from the value bytes
// 0 5 7 23 27-253   VT_I4       4 bytes, signed
// 1 2 11-22 24-26   VT_UI1      1 byte
//   254 255
// 3 10              VT_I1       1 byte, signed
// 4                 VT_I2       2 bytes, signed
// 6                 VT_R4       IEEE single
// 8                 VT_UI2      2 bytes
// 9                 VT_R8       IEEE double
#pragma once

#include <cstdint>

#include "channels/variant.h"
#include "link/fixedstructs.h"

namespace corvid {

// The zero of the item type of `dtype`.
Variant Type1ZeroValue(std::uint8_t dtype);
// The value of `bytes` (little-endian) for `dtype`.
Variant Type1Value(std::uint8_t dtype, const FixedBytes<16>& bytes);

}  // namespace corvid
