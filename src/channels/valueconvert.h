// Conversion of scalar values between the element types, and the texts of scalar values. Our own
// rules, identical on every build:
// - numbers convert between the numeric types; fractions are rounded to the nearest integer with
//   halves to the even neighbour; a result outside the target's range fails;
// - Boolean true is -1 for the signed types, all bits set for the unsigned ones (UInt2 0xFFFF) and
//   -1.0 for Float4, Float8 and Date; any nonzero number is true;
// - Empty converts to zero, false or the empty text;
// - texts convert to numbers with the user locale's decimal separator or a point, an optional
//   sign and exponent, no group separators; to Boolean also by the words true/false and да/нет
//   (any letter case); to Date in the user locale's short date order (or yyyy-mm-dd) with an
//   optional time h:mm[:ss[.zzz]];
// - everything converts to String as its text (see ScalarText).
#pragma once

#include <cstdint>
#include <string>

#include "channels/variant.h"

namespace corvid {

// Converts a scalar (not an array) to element type `element`; Empty gives an empty value.
// Raises ConvertError for a value out of the target's range, a text that is no value of the
// target type and an unknown element type ("ConvertToType: неверный тип данных (N)"), and
// Exception for an array.
Variant ConvertScalar(const Variant& value, std::uint16_t element);

// The text of a scalar, UTF-8: integers in decimal; Float4 with up to 7 and Float8 with up to 15
// significant digits and the user locale's decimal separator; Date as the user locale's short
// date, a blank and its long time; Boolean "True" or "False"; Empty the empty text.
std::string ScalarText(const Variant& value);

// Rounds to the nearest integer, halves to the even neighbour; NaN and infinities unchanged.
double RoundHalfEven(double x);

// The range of a Date value, 0100-01-01 00:00 .. 9999-12-31 23:59:59.999: finite, above -657435
// (before 1899-12-30 the integer part is the day and the fraction the time of that day) and below
// 2958466.
bool IsValidDate(double days);

}  // namespace corvid
