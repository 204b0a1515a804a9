// Display texts of typed values: DisplayFormat and FormatValue.
#include "channels/channelutils.h"
#include "channels/printfformat.h"
#include "channels/valueconvert.h"
#include "platform/locale.h"
#include "util/datetime.h"
#include "util/error.h"

namespace corvid {
namespace {

// The most characters an integer text may have.
constexpr std::size_t kMaxIntegerChars = 99;

bool IsPictureLetter(char c) {
  const char lower = static_cast<char>(c | 0x20);
  return std::string_view("ymdhnsz").find(lower) != std::string_view::npos;
}

// Translates a locale picture (d dd M MM yy yyyy; H HH h hh m mm s ss t tt, 'quoted' literals) into
// the date-time picture of FormatDateTime (d dd m mm yy yyyy; h hh n nn s ss). The AM/PM marker
// is dropped together with the blank before it; hours are shown from 0 to 23.
std::string LocalePictureToDateTimePicture(const std::string& picture) {
  std::string out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      std::string literal;
      for (++i; i < picture.size(); ++i) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            literal += '\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        literal += picture[i];
      }
      if (literal.find('"') == std::string::npos) {
        out += '"' + literal + '"';
      } else if (literal.find('\'') == std::string::npos) {
        out += '\'' + literal + '\'';
      }
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    const std::size_t two = run >= 2 ? 2 : 1;
    switch (c) {
      case 'd':
        out.append(two, 'd');
        break;
      case 'M':
        out.append(two, 'm');
        break;
      case 'y':
        out += run >= 3 ? "yyyy" : "yy";
        break;
      case 'H':
      case 'h':
        out.append(two, 'h');
        break;
      case 'm':
        out.append(two, 'n');
        break;
      case 's':
        out.append(two, 's');
        break;
      case 't':
        if (!out.empty() && out.back() == ' ') out.pop_back();
        break;
      default:
        for (std::size_t k = 0; k < run; ++k) {
          if (IsPictureLetter(c)) {
            out += '"';
            out += c;
            out += '"';
          } else {
            out += c;
          }
        }
        break;
    }
    i += run;
  }
  return out;
}

// The 32 bits of the int that a value of an integer type passes to a printf-style format.
std::uint32_t IntegerArgument(const Variant& value) {
  return std::visit(
      [](const auto& v) -> std::uint32_t {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_integral_v<V> && std::is_signed_v<V>) {
          return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
        } else if constexpr (std::is_integral_v<V>) {
          return static_cast<std::uint32_t>(v);
        } else {
          return 0;
        }
      },
      value.Value());
}

std::string FormatInteger(std::uint16_t element, const std::string& format, const Variant& value) {
  Variant typed = value;
  ConvertToType(typed, element);
  const std::uint32_t argument = IntegerArgument(typed);
  PrintfConversion conv;
  if (ParsePrintfFormat(format, PrintfKind::kInteger, conv)) {
    std::string text = RenderPrintfInteger(conv, argument);
    if (TextChars(text) <= kMaxIntegerChars) return text;
  }
  ParsePrintfFormat(DisplayFormat(element), PrintfKind::kInteger, conv);
  return RenderPrintfInteger(conv, argument);
}

std::string FormatFloat(std::uint16_t element, const std::string& format, const Variant& value) {
  Variant typed = value;
  ConvertToType(typed, kTypeFloat8);
  const double x = typed.Get<double>();
  const char separator = platform::UserDisplayFormats().decimal_separator;
  PrintfConversion conv;
  if (!ParsePrintfFormat(format, PrintfKind::kFloat, conv)) {
    ParsePrintfFormat(DisplayFormat(element), PrintfKind::kFloat, conv);
  }
  return RenderPrintfFloat(conv, x, separator);
}

std::string FormatDate(const std::string& format, const Variant& value) {
  Variant typed = value;
  ConvertToType(typed, kTypeDate);
  const double days = typed.Get<DateValue>().days;
  if (!IsValidDate(days)) {
    throw ConvertError("FormatValue: дата вне допустимого диапазона (" + ScalarText(typed) + ")");
  }
  return FormatDateTime(format.empty() ? DisplayFormat(kTypeDate) : format, days);
}

}  // namespace

std::string DisplayFormat(std::uint16_t code) {
  switch (ElementType(code)) {
    case kTypeInt1:
    case kTypeInt2:
    case kTypeInt4:
    case kTypeBoolean:
      return "%d";
    case kTypeUInt1:
    case kTypeUInt2:
    case kTypeUInt4:
      return "%u";
    case kTypeFloat4:
      return "%.1f";
    case kTypeFloat8:
      return "%.2f";
    case kTypeDate: {
      const platform::DisplayFormats formats = platform::UserDisplayFormats();
      return LocalePictureToDateTimePicture(formats.short_date) + " " +
             LocalePictureToDateTimePicture(formats.long_time);
    }
    default:
      return std::string();
  }
}

std::string FormatValue(std::uint16_t code, const std::string& format, const Variant& value) {
  const std::uint16_t element = ElementType(code);
  switch (element) {
    case kTypeEmpty:
      return format;
    case kTypeInt1:
    case kTypeInt2:
    case kTypeInt4:
    case kTypeUInt1:
    case kTypeUInt2:
    case kTypeUInt4:
      return FormatInteger(element, format, value);
    case kTypeFloat4:
    case kTypeFloat8:
      return FormatFloat(element, format, value);
    case kTypeDate:
      return FormatDate(format, value);
    case kTypeBoolean: {
      Variant typed = value;
      ConvertToType(typed, kTypeBoolean);
      return typed.Get<bool>() ? "да" : "нет";
    }
    case kTypeString: {
      Variant typed = value;
      ConvertToType(typed, kTypeString);
      return ScalarText(typed);
    }
    default:
      return "неверный тип " + std::to_string(code);
  }
}

}  // namespace corvid
