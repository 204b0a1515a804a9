// The COM variant type numbers (VARTYPE) of the OPC interfaces against the program's type codes,
// and the conversion of item values to the data type a client asked for.
//   VT_I1 16, VT_UI1 17, VT_I2 2, VT_UI2 18, VT_I4 3, VT_UI4 19, VT_R4 4, VT_R8 5, VT_DATE 7,
//   VT_BOOL 11, VT_BSTR 8 (our String, held as UTF-16), VT_ARRAY 0x2000 (our array flag 0x1000),
//   VT_EMPTY 0 (our Empty; as a requested type: "the item's canonical type").
#pragma once

#include <cstdint>

#include "channels/variant.h"
#include "toolkit/opcdefs.h"

namespace corvid::toolkit {

// The VARTYPE of a type code; a code of an unknown element type gives VT_EMPTY.
std::uint16_t VarTypeOf(std::uint16_t type_code);
// The type code of a VARTYPE; false for a variant type the engine cannot hold (VT_CY, VT_VARIANT,
// VT_ARRAY | VT_EMPTY, byref ...).
bool TypeCodeOfVarType(std::uint16_t vartype, std::uint16_t& type_code);

// Whether a value of type `from` can ever be delivered as type `to` (AddItems, SetDatatypes):
// arrays never become scalars; everything else is decided value by value.
bool CanConvertType(std::uint16_t from, std::uint16_t to);

// Converts `value` in place to type code `to` with the program's conversion rules. kOk, or
// kOpcERange (a number out of the target's range) or kOpcEBadType (no conversion); on failure the
// value becomes Empty.
Result ConvertForClient(Variant& value, std::uint16_t to);

// The same for a value written by a client, towards the item's canonical type; the value is
// unchanged on failure.
Result ConvertWritten(Variant& value, std::uint16_t to);

}  // namespace corvid::toolkit
