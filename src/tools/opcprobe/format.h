// Texts of opcprobe's output: values (VARIANT, arrays included), qualities, UTC timestamps and
// result codes, and the parsing of a value given on the command line into an item's type.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <string>

namespace corvid::opcprobe {

// UTF-8 console text of a wide string (null: empty).
std::string Narrow(const wchar_t* text);
std::wstring Widen(const std::string& text);

// "3.5", "\"text\"", "[1, 2, 3]", "(empty)"; the VARTYPE in brackets after it: "3.5 (VT_R8)".
std::string ValueText(const VARIANT& value);
std::string VarTypeName(VARTYPE vt);
// The value for machines (the soak's check reads it): integers in decimal, floats and dates
// (days) in the shortest text that reads back the same, "true"/"false", texts with \\, \t, \r
// and \n escaped, arrays as [a,b,c], nothing for VT_EMPTY.
std::string DumpText(const VARIANT& value);
// "GOOD (0xC0)", "BAD/COMM_FAILURE (0x18)", ...
std::string QualityText(WORD quality);
// "2026-12-09 07:30:33.125Z"; "(none)" for zero.
std::string TimeText(const FILETIME& time);
// "0xC0040006 OPC_E_BADRIGHTS" (the symbol when known).
std::string ResultText(HRESULT hr);

// The command-line text `text` as a VARIANT of type `vt` (invariant locale: "1.5", "true").
HRESULT ParseValue(const std::string& text, VARTYPE vt, VARIANT* out);

}  // namespace corvid::opcprobe
