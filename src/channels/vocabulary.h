// Russian display texts of two small codes of a protocol-2 channel: the quality of its value and
// its signification (purpose). Pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace corvid {

// "ОК" (Cyrillic letters) for 0, the reasons for 1 to 8, "Quality=<code>" for any other code.
std::string QualityName(std::uint8_t code);

// "Не определено" for 0, the purposes for 1 to 16, the code in decimal from 17 on.
std::string SignificationName(std::uint16_t code);

}  // namespace corvid
