// printf-style formats from channel data: a strict parser of one conversion and our own rendering.
#include "channels/printfformat.h"

#include <charconv>
#include <cmath>

namespace corvid {
namespace {

constexpr int kMaxFieldDigits = 2;  // width and precision up to 99

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsConversion(char c, PrintfKind kind) {
  const std::string_view allowed = kind == PrintfKind::kInteger ? "diuxXo" : "fFeEgGaA";
  return allowed.find(c) != std::string_view::npos;
}

// Reads up to two digits at `i`; false when there are more.
bool ReadField(std::string_view format, std::size_t& i, int& value) {
  int digits = 0;
  value = 0;
  for (; i < format.size() && IsDigit(format[i]); ++i) {
    if (++digits > kMaxFieldDigits) return false;
    value = value * 10 + (format[i] - '0');
  }
  return true;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// `lead` (sign, 0x) and `digits` padded to the width: spaces on the left or right, or zeros
// between the lead and the digits.
std::string Pad(const PrintfConversion& conv, const std::string& lead, const std::string& digits,
                bool zero_allowed) {
  const std::size_t length = lead.size() + digits.size();
  const std::size_t width = static_cast<std::size_t>(conv.width);
  if (width <= length) return lead + digits;
  const std::size_t fill = width - length;
  if (conv.left) return lead + digits + std::string(fill, ' ');
  if (conv.zero && zero_allowed) return lead + std::string(fill, '0') + digits;
  return std::string(fill, ' ') + lead + digits;
}

}  // namespace

bool ParsePrintfFormat(std::string_view format, PrintfKind kind, PrintfConversion& conv) {
  PrintfConversion result;
  std::string* literal = &result.prefix;
  bool found = false;
  for (std::size_t i = 0; i < format.size();) {
    if (format[i] != '%') {
      *literal += format[i++];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      *literal += '%';
      i += 2;
      continue;
    }
    if (found) return false;  // a second conversion
    found = true;
    for (++i; i < format.size(); ++i) {
      const char c = format[i];
      if (c == '-') {
        result.left = true;
      } else if (c == '+') {
        result.plus = true;
      } else if (c == ' ') {
        result.space = true;
      } else if (c == '0') {
        result.zero = true;
      } else if (c == '#') {
        result.alternate = true;
      } else {
        break;
      }
    }
    if (!ReadField(format, i, result.width)) return false;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!ReadField(format, i, result.precision)) return false;
    }
    if (kind == PrintfKind::kInteger && format.substr(i, 2) == "hh") {
      result.length = 2;
      i += 2;
    } else if (kind == PrintfKind::kInteger && format.substr(i, 1) == "h") {
      result.length = 1;
      ++i;
    } else if (format.substr(i, 1) == "l") {
      ++i;
    }
    if (i >= format.size() || !IsConversion(format[i], kind)) return false;
    result.conversion = format[i++];
    const char c = result.conversion;
    if (result.alternate && !(c == 'o' || c == 'x' || c == 'X')) return false;
    literal = &result.suffix;
  }
  if (!found) return false;
  conv = std::move(result);
  return true;
}

std::string RenderPrintfInteger(const PrintfConversion& conv, std::uint32_t argument) {
  const char c = conv.conversion;
  const bool is_signed = c == 'd' || c == 'i';
  bool negative = false;
  std::uint64_t magnitude = 0;
  if (is_signed) {
    const std::int64_t v = conv.length == 2   ? static_cast<std::int8_t>(argument)
                           : conv.length == 1 ? static_cast<std::int16_t>(argument)
                                              : static_cast<std::int32_t>(argument);
    negative = v < 0;
    magnitude = static_cast<std::uint64_t>(negative ? -v : v);
  } else {
    magnitude = conv.length == 2   ? static_cast<std::uint8_t>(argument)
                : conv.length == 1 ? static_cast<std::uint16_t>(argument)
                                   : argument;
  }
  const int base = c == 'o' ? 8 : (c == 'x' || c == 'X') ? 16 : 10;
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, magnitude, base).ptr;
  std::string digits(buf, end);
  if (c == 'X') {
    for (char& d : digits) d = Upper(d);
  }
  if (conv.precision == 0 && magnitude == 0) digits.clear();
  if (conv.precision > static_cast<int>(digits.size())) {
    digits.insert(0, static_cast<std::size_t>(conv.precision) - digits.size(), '0');
  }
  std::string lead;
  if (is_signed) {
    if (negative) {
      lead = "-";
    } else if (conv.plus) {
      lead = "+";
    } else if (conv.space) {
      lead = " ";
    }
  }
  if (conv.alternate) {
    if (c == 'o' && (digits.empty() || digits[0] != '0')) digits = "0" + digits;
    if (c != 'o' && magnitude != 0) lead += c == 'X' ? "0X" : "0x";
  }
  return conv.prefix + Pad(conv, lead, digits, conv.precision < 0) + conv.suffix;
}

std::string RenderPrintfFloat(const PrintfConversion& conv, double value, char decimal_separator) {
  const char c = conv.conversion;
  const bool upper = c >= 'A' && c <= 'Z';
  const char kind = upper ? static_cast<char>(c - 'A' + 'a') : c;
  std::string lead;
  if (std::signbit(value)) {
    lead = "-";
  } else if (conv.plus) {
    lead = "+";
  } else if (conv.space) {
    lead = " ";
  }
  std::string digits;
  const bool finite = std::isfinite(value);
  if (!finite) {
    digits = std::isnan(value) ? "nan" : "inf";
  } else {
    // Room for 309 integer digits, the point and 99 decimals.
    char buf[512];
    char* const last = buf + sizeof buf;
    const double magnitude = std::fabs(value);
    const int p = conv.precision;
    std::to_chars_result r{};
    switch (kind) {
      case 'f':
        r = std::to_chars(buf, last, magnitude, std::chars_format::fixed, p < 0 ? 6 : p);
        break;
      case 'e':
        r = std::to_chars(buf, last, magnitude, std::chars_format::scientific, p < 0 ? 6 : p);
        break;
      case 'g':
        r = std::to_chars(buf, last, magnitude, std::chars_format::general,
                          p < 0 ? 15 : (p == 0 ? 1 : p));
        break;
      default:  // 'a'
        r = p < 0 ? std::to_chars(buf, last, magnitude, std::chars_format::hex)
                  : std::to_chars(buf, last, magnitude, std::chars_format::hex, p);
        lead += "0x";
        break;
    }
    if (r.ec != std::errc()) r.ptr = buf;  // cannot happen with two-digit precisions
    digits.assign(buf, r.ptr);
    for (char& d : digits) {
      if (d == '.') d = decimal_separator;
    }
  }
  if (upper) {
    for (char& d : lead) d = Upper(d);
    for (char& d : digits) d = Upper(d);
  }
  return conv.prefix + Pad(conv, lead, digits, finite) + conv.suffix;
}

std::size_t TextChars(std::string_view utf8) {
  std::size_t chars = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u) ++chars;
  }
  return chars;
}

}  // namespace corvid
