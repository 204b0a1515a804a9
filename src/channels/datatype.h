// Data type codes of typed values: an unsigned 16-bit number whose low 12 bits name the element
// type and whose bit 0x1000 makes it a one-dimensional array of that element type. The scalar codes
// have the numbers of the OLE Automation variant types of the same kind; String and the array flag
// are our own.
#pragma once

#include <cstdint>

namespace corvid {

inline constexpr std::uint16_t kTypeEmpty = 0;
inline constexpr std::uint16_t kTypeInt2 = 2;
inline constexpr std::uint16_t kTypeInt4 = 3;
inline constexpr std::uint16_t kTypeFloat4 = 4;
inline constexpr std::uint16_t kTypeFloat8 = 5;
inline constexpr std::uint16_t kTypeDate = 7;
inline constexpr std::uint16_t kTypeBoolean = 11;
inline constexpr std::uint16_t kTypeInt1 = 16;
inline constexpr std::uint16_t kTypeUInt1 = 17;
inline constexpr std::uint16_t kTypeUInt2 = 18;
inline constexpr std::uint16_t kTypeUInt4 = 19;
inline constexpr std::uint16_t kTypeString = 256;

inline constexpr std::uint16_t kArrayFlag = 0x1000;
inline constexpr std::uint16_t kElementMask = 0x0FFF;

constexpr std::uint16_t ElementType(std::uint16_t code) {
  return code & kElementMask;
}
constexpr bool IsArrayType(std::uint16_t code) {
  return (code & kArrayFlag) != 0;
}

// True for the element types of the table above (Empty included).
constexpr bool IsKnownElementType(std::uint16_t element) {
  switch (element) {
    case kTypeEmpty:
    case kTypeInt2:
    case kTypeInt4:
    case kTypeFloat4:
    case kTypeFloat8:
    case kTypeDate:
    case kTypeBoolean:
    case kTypeInt1:
    case kTypeUInt1:
    case kTypeUInt2:
    case kTypeUInt4:
    case kTypeString:
      return true;
    default:
      return false;
  }
}

// Element types an array may have: every known type except Empty.
constexpr bool IsArrayElementType(std::uint16_t element) {
  return element != kTypeEmpty && IsKnownElementType(element);
}

// Bytes of one element in the binary form; for String the smallest form (its 2-byte count).
constexpr int MinBinarySize(std::uint16_t element) {
  switch (element) {
    case kTypeInt1:
    case kTypeUInt1:
      return 1;
    case kTypeInt2:
    case kTypeUInt2:
    case kTypeBoolean:
    case kTypeString:
      return 2;
    case kTypeInt4:
    case kTypeUInt4:
    case kTypeFloat4:
      return 4;
    case kTypeFloat8:
    case kTypeDate:
      return 8;
    default:
      return 0;
  }
}

}  // namespace corvid
