// Values in scenario files: data types (a code or a name), times (a text or days), time
// encodings and typed values, read with the checks of jsonfields.h and written back.
#include <charconv>
#include <limits>
#include <variant>

#include "channels/channelutils.h"
#include "channels/valueconvert.h"
#include "tools/corvidsim/scenario/jsonfields.h"
#include "util/text.h"

namespace corvid::sim::json {

namespace {

constexpr std::uint16_t kElementTypes[] = {kTypeEmpty,  kTypeInt2,  kTypeInt4,    kTypeFloat4,
                                           kTypeFloat8, kTypeDate,  kTypeBoolean, kTypeInt1,
                                           kTypeUInt1,  kTypeUInt2, kTypeUInt4,   kTypeString};

constexpr const char* kTimePicture = "yyyy-mm-dd hh:nn:ss.zzz";

bool HasName(std::uint16_t code) {
  const std::uint16_t element = ElementType(code);
  if ((code & ~(kArrayFlag | kElementMask)) != 0 || !IsKnownElementType(element)) return false;
  return !IsArrayType(code) || IsArrayElementType(element);
}

// "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]".
std::optional<TDateTime> ParseTimeText(const std::string& text) {
  int parts[7] = {0, 0, 0, 0, 0, 0, 0};
  const char separators[] = {'-', '-', ' ', ':', ':', '.'};
  const std::size_t widths[] = {4, 2, 2, 2, 2, 2, 3};
  std::size_t pos = 0;
  int count = 0;
  for (; count < 7; ++count) {
    if (count > 0) {
      if (pos == text.size() && count >= 3 && count != 4) break;  // date, hh:nn, :ss are whole
      if (pos >= text.size() || text[pos] != separators[count - 1]) return std::nullopt;
      ++pos;
    }
    std::size_t digits = 0;
    while (pos < text.size() && digits < widths[count] && text[pos] >= '0' && text[pos] <= '9') {
      parts[count] = parts[count] * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits != widths[count]) return std::nullopt;
  }
  if (pos != text.size() || count == 4) return std::nullopt;
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(parts[0], parts[1], parts[2], date) ||
      !TryEncodeTime(parts[3], parts[4], parts[5], parts[6], time)) {
    return std::nullopt;
  }
  return date >= 0 ? date + time : date - time;
}

// One scalar of element type `element`.
Variant ScalarOf(const Json& v, std::uint16_t element, const std::string& path) {
  Variant value;
  if (v.is_boolean()) {
    value = v.get<bool>();
  } else if (v.is_number_unsigned()) {
    const auto u = v.get<std::uint64_t>();
    value =
        u <= 0xFFFFFFFFu ? Variant(static_cast<std::uint32_t>(u)) : Variant(static_cast<double>(u));
  } else if (v.is_number_integer()) {
    const auto i = v.get<std::int64_t>();
    value = i >= std::numeric_limits<std::int32_t>::min() &&
                    i <= std::numeric_limits<std::int32_t>::max()
                ? Variant(static_cast<std::int32_t>(i))
                : Variant(static_cast<double>(i));
  } else if (v.is_number_float()) {
    value = v.get<double>();
  } else if (v.is_string()) {
    if (element == kTypeDate) {
      value = DateValue{TimeOf(v, path)};
    } else {
      value = v.get<std::string>();
    }
  } else if (!v.is_null()) {
    Fail(path, "ожидается значение: число, true/false, текст или null");
  }
  try {
    return ConvertScalar(value, element);
  } catch (const std::exception& e) {
    Fail(path, "значение не приводится к типу " + TypeName(element) + ": " + e.what());
  }
}

}  // namespace

std::uint16_t TypeOf(const Json& v, const std::string& path) {
  if (v.is_number_integer()) return IntOf<std::uint16_t>(v, path);
  if (!v.is_string()) Fail(path, "ожидается код или имя типа данных");
  const std::string name = v.get<std::string>();
  for (const std::uint16_t element : kElementTypes) {
    if (TypeName(element) == name) return element;
    const auto array = static_cast<std::uint16_t>(element | kArrayFlag);
    if (IsArrayElementType(element) && TypeName(array) == name) return array;
  }
  Fail(path, "неизвестный тип данных \"" + name + "\"");
}

Json TypeJson(std::uint16_t code) {
  return HasName(code) ? Json(TypeName(code)) : Json(code);
}

void ReadType(const Json& j, const char* key, const std::string& path, std::uint16_t& out) {
  if (const Json* v = Member(j, key)) out = TypeOf(*v, Child(path, key));
}

TDateTime TimeOf(const Json& v, const std::string& path) {
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    if (auto t = ParseTimeText(v.get<std::string>())) return *t;
  }
  Fail(path, "ожидается время вида \"yyyy-mm-dd hh:nn:ss.zzz\" или число дней");
}

void ReadTime(const Json& j, const char* key, const std::string& path,
              std::optional<TDateTime>& out) {
  if (const Json* v = Member(j, key)) out = TimeOf(*v, Child(path, key));
}

Json TimeJson(const std::optional<TDateTime>& t) {
  return t ? Json(FormatDateTime(kTimePicture, *t)) : Json(nullptr);
}

TimeEncoding EncodingOf(const Json& v, const std::string& path) {
  const std::string text = v.is_string() ? v.get<std::string>() : std::string();
  if (text == "none") return TimeEncoding::kNone;
  if (text == "filetime") return TimeEncoding::kFileTime;
  if (text == "datetime") return TimeEncoding::kDateTime;
  if (text == "iso") return TimeEncoding::kIsoText;
  Fail(path, "ожидается none, filetime, datetime или iso");
}

const char* EncodingText(TimeEncoding e) {
  switch (e) {
    case TimeEncoding::kNone:
      return "none";
    case TimeEncoding::kFileTime:
      return "filetime";
    case TimeEncoding::kDateTime:
      return "datetime";
    case TimeEncoding::kIsoText:
      return "iso";
  }
  return "datetime";
}

Variant ValueOf(const Json& v, std::uint16_t type, const std::string& path) {
  if (type == kTypeEmpty) {
    if (!v.is_null()) Fail(path, "у типа Empty нет значения (ожидается null)");
    return Variant();
  }
  if (!IsArrayType(type)) return ScalarOf(v, type, path);
  if (!v.is_array()) Fail(path, "ожидается массив значений типа " + TypeName(type));
  const std::uint16_t element = ElementType(type);
  try {
    VariantArray array(element, v.size());
    for (std::size_t i = 0; i < v.size(); ++i) array.Set(i, ScalarOf(v[i], element, Item(path, i)));
    return array;
  } catch (const ScenarioError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(path, e.what());
  }
}

void ReadValue(const Json& j, const char* key, const std::string& path, std::uint16_t type,
               Variant& out) {
  const Json* v = Member(j, key);
  if (v == nullptr && IsArrayType(type)) {
    out = ValueOf(Json::array(), type, Child(path, key));
  } else {
    out = ValueOf(v != nullptr ? *v : Json(nullptr), type, Child(path, key));
  }
}

Json VariantJson(const Variant& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, float>) {
          // The shortest text that reads back as this float (21.8, not 21.799999237060547).
          char text[32];
          const auto end = std::to_chars(text, text + sizeof text, v).ptr;
          double shortest = v;
          std::from_chars(text, end, shortest);
          return shortest;
        } else if constexpr (std::is_same_v<T, DateValue>) {
          return FormatDateTime(kTimePicture, v.days);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return Utf16ToUtf8(v);
        } else if constexpr (std::is_same_v<T, VariantArray>) {
          Json items = Json::array();
          for (const Variant& item : v.Items()) items.push_back(VariantJson(item));
          return items;
        } else {
          return v;
        }
      },
      value.Value());
}

}  // namespace corvid::sim::json
