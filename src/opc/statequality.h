// Channel states of the Corvid server and what OPC makes of them: the OPC quality of a state
// (both channel families) and the enumeration texts of the type-1 data types above 10.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvid {

// The OPC quality of a channel state: inactive 28 (bad: out of service); else 0 good (192),
// 1 28, 2 uncertain (64), 3 sensor failure (16), 4 and 8 device failure (12), 5 sensor not
// accurate (80), 6 not connected (8), 7 communication failure (24), other 4 (configuration error).
std::uint16_t StateToQuality(std::uint8_t state, bool active);

// One row of the state texts: the text (UTF-16) of `Value` for type-1 data type `DType`.
struct StateText {
  std::uint8_t DType;
  std::uint8_t Value;
  std::u16string_view Text;
};

// All rows, ordered by data type and value, ending with a row of data type 0.
const StateText* StateTexts();
// Rows of `dtype` (the end row not counted).
int StateTextCount(std::uint8_t dtype);
// The text of `value` for `dtype`, empty when there is none.
std::u16string_view FindStateText(std::uint8_t dtype, std::uint8_t value);

}  // namespace corvid
