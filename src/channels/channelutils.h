// The value codec: conversion of a Variant to a declared data type, the binary form of typed
// values inside the Corvid server's command bodies, and the names and display texts of values.
// Free functions without state, callable from any thread. Errors are raised as Exception (or
// ConvertError for conversions) with the Russian texts below.
//
// Binary form (little-endian): [type code, 2 bytes, when with_type] [element count, 2 bytes,
// for array codes] then the scalar or the elements one after another. Int1/UInt1 1 byte;
// Int2/UInt2 2; Int4/UInt4/Float4 4; Float8 and Date 8 (IEEE doubles); Boolean a 16-bit word
// (0 false, written as 0xFFFF for true); String a 16-bit byte count and that many windows-1251
// bytes; Empty nothing.
#pragma once

#include <cstdint>
#include <string>

#include "channels/datatype.h"
#include "channels/variant.h"

namespace corvid {

// Converts `value` in place to the type `code`. An array given for a scalar type fails with
// "ConvertToType: присвоение массива <element> простому типу данных <type>"; a scalar given for an
// array type becomes a one-element array holding the scalar converted to the element type.
// Conversions follow valueconvert.h; on failure `value` is unchanged.
void ConvertToType(Variant& value, std::uint16_t code);

// Encodes `value` as type `code` into buffer[0 .. size-1] (converted first when its type differs;
// `value` itself is not changed); `written` receives the bytes produced. Never writes beyond
// `size`. Arrays of more than 65535 elements and texts of more than 65535 bytes are refused.
void VariantToBinary2(const Variant& value, std::uint16_t code, std::uint8_t* buffer, int size,
                      int& written, bool with_type);
// Encodes a value that already has its declared type: no conversion, no type word, no count word
// (an array's elements one after another).
void VariantToBinary(const Variant& value, std::uint8_t* buffer, int size, int& written);

// Decodes a value of type `code` (or of the type in the first two bytes when with_type is set)
// from buffer[0 .. size-1]; `consumed` receives the bytes used. Never reads beyond `size`; a count
// that promises more than the remaining bytes fails before anything is allocated. On failure
// `value` and `consumed` are unchanged. Arrays come back with their element type (String elements
// as 16-bit text, Boolean elements as bool); a scalar Boolean comes back as the UInt2 word read.
void BinaryToVariant2(Variant& value, std::uint16_t code, const std::uint8_t* buffer, int size,
                      int& consumed, bool with_type);
// Decodes one scalar of element type `code`; String as 8-bit (UTF-8) text.
void BinaryToVariant(Variant& value, std::uint16_t code, const std::uint8_t* buffer, int size,
                     int& consumed);

// A new array of `count` zero, false or empty-text elements of the element type of `code`.
Variant MakeTypedArray(std::uint16_t code, int count);

// "Int4", "Array of Int4"; an unknown element type gives its decimal number ("6").
std::string TypeName(std::uint16_t code);

// The default display format of an element type: "%d", "%u", "%.1f" (Float4), "%.2f" (Float8),
// for Date the user locale's short date, a blank and its long time as a date-time picture, else "".
std::string DisplayFormat(std::uint16_t code);

// The text of one scalar value of element type `code` made with `format`:
// - Empty: `format` itself;
// - integer types: the value converted to the type, formatted with a printf-style integer format
//   (see printfformat.h) of at most 99 characters;
// - Float4, Float8: the value as a double with a printf-style float format, the user locale's
//   decimal separator, %g with up to 15 significant digits;
// - Date: a date-time picture (yyyy mm dd hh nn ss z; empty: the default display format);
// - Boolean: "да" or "нет"; String: the text itself (format not used);
// - any other code: "неверный тип " and the code in decimal.
// A format that is not exactly one conversion fitting the value, or whose integer result would
// exceed 99 characters, is refused and the type's DisplayFormat is used instead. Raises
// ConvertError when the value does not convert to the type or a Date is out of range.
std::string FormatValue(std::uint16_t code, const std::string& format, const Variant& value);

}  // namespace corvid
