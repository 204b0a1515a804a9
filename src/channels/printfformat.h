// printf-style formats that come from channel data, checked before use and rendered by our own
// code (never handed to a C formatter). A format is accepted only when it holds exactly one
// conversion of the expected kind, around literal text in which "%%" stands for "%":
//   integers: %[flags][width][.precision][hh|h|l](d|i|u|x|X|o)   flags - + blank 0, and # for o x X
//   floats:   %[flags][width][.precision][l](f|F|e|E|g|G|a|A)       flags - + blank 0
// Width and precision are at most two digits; '*', positional arguments and other conversions
// and length modifiers are refused. The rendering follows C for a 32-bit integer argument (long
// is 32-bit, as on the platform the formats are written for) and for a double, except that the
// default precision of %g and %G is 15 and the decimal separator is the one asked for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvid {

enum class PrintfKind { kInteger, kFloat };

struct PrintfConversion {
  std::string prefix;  // literal text before and after the conversion, "%%" already undone
  std::string suffix;
  bool left = false;       // -
  bool plus = false;       // +
  bool space = false;      // blank
  bool zero = false;       // 0
  bool alternate = false;  // #
  int width = 0;
  int precision = -1;  // -1: none given
  int length = 0;      // integers: 0 none or l, 1 h, 2 hh
  char conversion = 0;
};

// False (conv unspecified) when `format` is not exactly one conversion of `kind`.
bool ParsePrintfFormat(std::string_view format, PrintfKind kind, PrintfConversion& conv);

// `argument` is the 32 bits of the int passed to the format.
std::string RenderPrintfInteger(const PrintfConversion& conv, std::uint32_t argument);
std::string RenderPrintfFloat(const PrintfConversion& conv, double value, char decimal_separator);

// Characters of a UTF-8 text: its bytes other than continuation bytes.
std::size_t TextChars(std::string_view utf8);

}  // namespace corvid
