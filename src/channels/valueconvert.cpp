// Conversion of scalar values between the element types, and the texts of scalar values.
#include "channels/valueconvert.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>

#include "channels/channelutils.h"
#include "platform/locale.h"
#include "util/datetime.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid {
namespace {

// Characters of a value quoted in an error message.
constexpr std::size_t kQuotedChars = 40;

std::string TextOf(const Variant& value) {
  if (const auto* text = value.GetIf<std::string>()) return *text;
  return Utf16ToUtf8(value.Get<std::u16string>());
}

[[noreturn]] void OutOfRange(const Variant& value, std::uint16_t element) {
  throw ConvertError("ConvertToType: значение " +
                     CutToCp1251Chars(ScalarText(value), kQuotedChars) + " вне диапазона типа " +
                     TypeName(element));
}

[[noreturn]] void NotAValue(const std::string& text, std::uint16_t element) {
  throw ConvertError("ConvertToType: текст \"" + CutToCp1251Chars(text, kQuotedChars) +
                     "\" не является значением типа " + TypeName(element));
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

enum class Parse { kOk, kNotANumber, kOutOfRange };

// [sign] digits [separator digits] [e [sign] digits], the separator being the locale's or a point.
Parse ParseReal(std::string_view text, double& out) {
  text = Trim(text);
  const char separator = platform::UserDisplayFormats().decimal_separator;
  std::string number;
  number.reserve(text.size());
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  std::size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) number += text[i];
  if (i < text.size() && (text[i] == '.' || text[i] == separator)) {
    number += '.';
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits) number += text[i];
  }
  if (digits == 0) return Parse::kNotANumber;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    number += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    std::size_t exponent_digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++exponent_digits) number += text[i];
    if (exponent_digits == 0) return Parse::kNotANumber;
  }
  if (i != text.size()) return Parse::kNotANumber;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), out);
  if (result.ec == std::errc::result_out_of_range) return Parse::kOutOfRange;
  if (result.ec != std::errc() || result.ptr != number.data() + number.size()) {
    return Parse::kNotANumber;
  }
  return Parse::kOk;
}

double ParseRealOrThrow(const Variant& value, std::uint16_t element) {
  const std::string text = TextOf(value);
  double result = 0;
  switch (ParseReal(text, result)) {
    case Parse::kOk:
      return result;
    case Parse::kOutOfRange:
      OutOfRange(value, element);
    case Parse::kNotANumber:
      break;
  }
  NotAValue(text, element);
}

// The order of day, month and year in a locale date picture: indexes into {day, month, year}.
void DateOrder(const std::string& picture, int order[3]) {
  const std::size_t pos[3] = {picture.find('d'), picture.find('M'), picture.find('y')};
  order[0] = 0, order[1] = 1, order[2] = 2;
  if (pos[0] == std::string::npos || pos[1] == std::string::npos || pos[2] == std::string::npos) {
    return;
  }
  // Sort the three field indexes by their position in the picture.
  for (int a = 0; a < 3; ++a) {
    for (int b = a + 1; b < 3; ++b) {
      if (pos[order[b]] < pos[order[a]]) std::swap(order[a], order[b]);
    }
  }
}

// Date in the locale's field order (or year first when the first number has four digits), then
// optionally hour, minute, second and milliseconds.
bool ParseDateTime(std::string_view text, double& out) {
  text = Trim(text);
  int numbers[7] = {};
  int widths[7] = {};
  int count = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (IsDigit(text[i])) {
      if (count == 7) return false;
      int value = 0;
      int width = 0;
      for (; i < text.size() && IsDigit(text[i]); ++i, ++width) {
        if (width == 9) return false;
        value = value * 10 + (text[i] - '0');
      }
      numbers[count] = value;
      widths[count++] = width;
    } else if (std::string_view(" ./-:T,").find(text[i]) != std::string_view::npos) {
      ++i;
    } else {
      return false;
    }
  }
  if (count != 3 && count != 5 && count != 6 && count != 7) return false;
  int fields[3] = {};  // day, month, year
  int order[3] = {2, 1, 0};
  if (widths[0] != 4) DateOrder(platform::UserDisplayFormats().short_date, order);
  for (int k = 0; k < 3; ++k) fields[order[k]] = numbers[k];
  int year = fields[2];
  const int year_position = order[0] == 2 ? 0 : (order[1] == 2 ? 1 : 2);
  if (widths[year_position] <= 2) year += year < 30 ? 2000 : 1900;  // two-digit years: 1930-2029
  int millisecond = 0;
  if (count == 7) {
    // Digits after the seconds are a fraction: .5 is 500 ms, .123456 is 123 ms.
    int value = numbers[6];
    int width = widths[6];
    for (; width > 3; --width) value /= 10;
    for (; width < 3; ++width) value *= 10;
    millisecond = value;
  }
  double date = 0;
  double time = 0;
  if (!TryEncodeDate(year, fields[1], fields[0], date) ||
      !TryEncodeTime(count >= 5 ? numbers[3] : 0, count >= 5 ? numbers[4] : 0,
                     count >= 6 ? numbers[5] : 0, millisecond, time)) {
    return false;
  }
  out = date >= 0 ? date + time : date - time;
  return true;
}

template <class T>
T ToInteger(const Variant& value, std::uint16_t element) {
  using Limits = std::numeric_limits<T>;
  const auto from_real = [&](double x) -> T {
    const double r = RoundHalfEven(x);
    if (!(r >= static_cast<double>(Limits::min()) && r <= static_cast<double>(Limits::max()))) {
      OutOfRange(value, element);
    }
    return static_cast<T>(r);
  };
  return std::visit(
      [&](const auto& v) -> T {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) {
          return 0;
        } else if constexpr (std::is_same_v<V, bool>) {
          return v ? static_cast<T>(-1) : T{0};  // -1, or all bits set for the unsigned types
        } else if constexpr (std::is_integral_v<V>) {
          const auto x = static_cast<std::int64_t>(v);
          if (x < static_cast<std::int64_t>(Limits::min()) ||
              x > static_cast<std::int64_t>(Limits::max())) {
            OutOfRange(value, element);
          }
          return static_cast<T>(x);
        } else if constexpr (std::is_floating_point_v<V>) {
          return from_real(v);
        } else if constexpr (std::is_same_v<V, DateValue>) {
          return from_real(v.days);
        } else if constexpr (std::is_same_v<V, VariantArray>) {
          throw Exception("ConvertToType: массив недопустим");
        } else {
          return from_real(ParseRealOrThrow(value, element));
        }
      },
      value.Value());
}

double ToReal(const Variant& value, std::uint16_t element) {
  return std::visit(
      [&](const auto& v) -> double {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) {
          return 0;
        } else if constexpr (std::is_same_v<V, bool>) {
          return v ? -1.0 : 0.0;
        } else if constexpr (std::is_arithmetic_v<V>) {
          return static_cast<double>(v);
        } else if constexpr (std::is_same_v<V, DateValue>) {
          return v.days;
        } else if constexpr (std::is_same_v<V, VariantArray>) {
          throw Exception("ConvertToType: массив недопустим");
        } else {
          return ParseRealOrThrow(value, element);
        }
      },
      value.Value());
}

bool ToBoolean(const Variant& value) {
  return std::visit(
      [&](const auto& v) -> bool {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) {
          return false;
        } else if constexpr (std::is_arithmetic_v<V>) {
          return v != 0;
        } else if constexpr (std::is_same_v<V, DateValue>) {
          return v.days != 0;
        } else if constexpr (std::is_same_v<V, VariantArray>) {
          throw Exception("ConvertToType: массив недопустим");
        } else {
          const std::string text = TextOf(value);
          const std::string_view word = Trim(text);
          if (SameTextNoCase(word, "true") || SameTextNoCase(word, "да")) return true;
          if (SameTextNoCase(word, "false") || SameTextNoCase(word, "нет")) return false;
          double number = 0;
          if (ParseReal(word, number) != Parse::kNotANumber) return number != 0;
          NotAValue(text, kTypeBoolean);
        }
      },
      value.Value());
}

double ToDate(const Variant& value) {
  double days = 0;
  if (value.IsText()) {
    const std::string text = TextOf(value);
    if (!ParseDateTime(text, days)) NotAValue(text, kTypeDate);
  } else {
    days = ToReal(value, kTypeDate);
  }
  if (!IsValidDate(days)) OutOfRange(value, kTypeDate);
  return days;
}

float ToFloat4(const Variant& value) {
  const double x = ToReal(value, kTypeFloat4);
  const auto f = static_cast<float>(x);
  if (std::isinf(f) && std::isfinite(x)) OutOfRange(value, kTypeFloat4);
  return f;
}

std::string RealText(double x, int digits) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, digits);
  std::string text(buf, result.ptr);
  const char separator = platform::UserDisplayFormats().decimal_separator;
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  return text;
}

}  // namespace

double RoundHalfEven(double x) {
  if (!std::isfinite(x)) return x;
  const double below = std::floor(x);
  const double fraction = x - below;  // exact for every double
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

bool IsValidDate(double days) {
  return std::isfinite(days) && days > -657435.0 && days < 2958466.0;
}

Variant ConvertScalar(const Variant& value, std::uint16_t element) {
  if (value.IsArray()) throw Exception("ConvertToType: массив недопустим");
  switch (element) {
    case kTypeEmpty:
      return Variant();
    case kTypeInt1:
      return ToInteger<std::int8_t>(value, element);
    case kTypeUInt1:
      return ToInteger<std::uint8_t>(value, element);
    case kTypeInt2:
      return ToInteger<std::int16_t>(value, element);
    case kTypeUInt2:
      return ToInteger<std::uint16_t>(value, element);
    case kTypeInt4:
      return ToInteger<std::int32_t>(value, element);
    case kTypeUInt4:
      return ToInteger<std::uint32_t>(value, element);
    case kTypeFloat4:
      return ToFloat4(value);
    case kTypeFloat8:
      return ToReal(value, element);
    case kTypeDate:
      return DateValue{ToDate(value)};
    case kTypeBoolean:
      return ToBoolean(value);
    case kTypeString:
      return value.IsText() ? value : Variant(ScalarText(value));
    default:
      throw ConvertError("ConvertToType: неверный тип данных (" + std::to_string(element) + ")");
  }
}

std::string ScalarText(const Variant& value) {
  return std::visit(
      [&](const auto& v) -> std::string {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) {
          return std::string();
        } else if constexpr (std::is_same_v<V, bool>) {
          return v ? "True" : "False";
        } else if constexpr (std::is_integral_v<V>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<V, float>) {
          return RealText(v, 7);
        } else if constexpr (std::is_same_v<V, double>) {
          return RealText(v, 15);
        } else if constexpr (std::is_same_v<V, DateValue>) {
          return IsValidDate(v.days) ? DateTimeText(v.days) : RealText(v.days, 15);
        } else if constexpr (std::is_same_v<V, VariantArray>) {
          throw Exception("ConvertToType: массив недопустим");
        } else {
          return TextOf(value);
        }
      },
      value.Value());
}

}  // namespace corvid
