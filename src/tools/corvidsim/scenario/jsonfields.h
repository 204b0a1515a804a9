// Internal to the scenario files: the JSON value type and the checked readers and writers of
// single fields and values (jsonvalues.cpp) that the parts of the scenario file share. Every
// reader raises ScenarioError naming the field by its path ("channels[3].address").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/corvidsim/scenario/scenario.h"
#include "tools/corvidsim/scenario/scenariofile.h"

namespace corvid::sim::json {

using Json = nlohmann::ordered_json;  // keeps the keys in the order written

// ---- reading --------------------------------------------------------------------------------

[[noreturn]] inline void Fail(const std::string& path, const std::string& what) {
  throw ScenarioError(path + ": " + what);
}

inline std::string Child(const std::string& path, const char* key) {
  return path.empty() ? std::string(key) : path + "." + key;
}

inline std::string Item(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

inline void ExpectObject(const Json& j, const std::string& path) {
  if (!j.is_object()) Fail(path.empty() ? "документ" : path, "ожидается объект");
}

// Unknown keys are errors.
inline void CheckKeys(const Json& j, const std::string& path,
                      std::initializer_list<const char*> known) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool found = false;
    for (const char* k : known) found = found || it.key() == k;
    if (!found) Fail(Child(path, it.key().c_str()), "неизвестный ключ");
  }
}

// The member, or null when it is missing or JSON null.
inline const Json* Member(const Json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return nullptr;
  return &*it;
}

template <class T>
T IntOf(const Json& v, const std::string& path) {
  static_assert(std::is_integral_v<T>);
  if (!v.is_number_integer()) Fail(path, "ожидается целое число");
  const bool fits =
      v.is_number_unsigned()
          ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<T>::max())
          : v.get<std::int64_t>() >= static_cast<std::int64_t>(std::numeric_limits<T>::min()) &&
                v.get<std::int64_t>() <= static_cast<std::int64_t>(std::numeric_limits<T>::max());
  if (!fits) {
    Fail(path, "число вне диапазона " + std::to_string(std::numeric_limits<T>::min()) + ".." +
                   std::to_string(std::numeric_limits<T>::max()));
  }
  return v.is_number_unsigned() ? static_cast<T>(v.get<std::uint64_t>())
                                : static_cast<T>(v.get<std::int64_t>());
}

template <class T>
void ReadInt(const Json& j, const char* key, const std::string& path, T& out) {
  if (const Json* v = Member(j, key)) out = IntOf<T>(*v, Child(path, key));
}

template <class T>
void ReadOptionalInt(const Json& j, const char* key, const std::string& path,
                     std::optional<T>& out) {
  if (const Json* v = Member(j, key)) {
    out = IntOf<T>(*v, Child(path, key));
  } else {
    out.reset();
  }
}

inline double NumberOf(const Json& v, const std::string& path) {
  if (!v.is_number()) Fail(path, "ожидается число");
  return v.get<double>();
}

inline void ReadText(const Json& j, const char* key, const std::string& path, std::string& out) {
  if (const Json* v = Member(j, key)) {
    if (!v->is_string()) Fail(Child(path, key), "ожидается текст");
    out = v->get<std::string>();
  }
}

inline void ReadBool(const Json& j, const char* key, const std::string& path, bool& out) {
  if (const Json* v = Member(j, key)) {
    if (!v->is_boolean()) Fail(Child(path, key), "ожидается true или false");
    out = v->get<bool>();
  }
}

// An array member (empty when missing).
inline const Json& ArrayOf(const Json& j, const char* key, const std::string& path) {
  static const Json kEmpty = Json::array();
  const Json* v = Member(j, key);
  if (v == nullptr) return kEmpty;
  if (!v->is_array()) Fail(Child(path, key), "ожидается массив");
  return *v;
}

inline Type1Address AddressOf(const Json& j, const std::string& path) {
  const Json* v = Member(j, "address");
  if (v == nullptr) Fail(Child(path, "address"), "адрес не задан");
  if (!v->is_string()) Fail(Child(path, "address"), "ожидается текст вида a.b.c.d");
  auto address = ParseType1Address(v->get<std::string>());
  if (!address) Fail(Child(path, "address"), "ожидается текст вида a.b.c.d");
  return *address;
}

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal bytes, blanks between them allowed.
inline std::vector<std::uint8_t> HexOf(const Json& v, const std::string& path) {
  if (!v.is_string()) Fail(path, "ожидается текст из шестнадцатеричных байтов");
  const std::string text = v.get<std::string>();
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    const int hi = HexDigit(text[i]);
    const int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (hi < 0 || lo < 0) {
      Fail(path, "неверный шестнадцатеричный байт в позиции " + std::to_string(i));
    }
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    i += 2;
  }
  return bytes;
}

// ---- data types, times and typed values (jsonvalues.cpp) --------------------------------------

// A data type code, or its name ("Float4", "Array of Int4").
std::uint16_t TypeOf(const Json& v, const std::string& path);
// Its name where it has one, else the code.
Json TypeJson(std::uint16_t code);
void ReadType(const Json& j, const char* key, const std::string& path, std::uint16_t& out);

// "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" or days since 1899-12-30.
TDateTime TimeOf(const Json& v, const std::string& path);
void ReadTime(const Json& j, const char* key, const std::string& path,
              std::optional<TDateTime>& out);
Json TimeJson(const std::optional<TDateTime>& t);
// "none", "filetime", "datetime" or "iso".
TimeEncoding EncodingOf(const Json& v, const std::string& path);
const char* EncodingText(TimeEncoding e);

// A value of data type `type`: null, a number, true/false, a text or an array of those for an
// array type, converted to the type (a value that does not convert is an error).
Variant ValueOf(const Json& v, std::uint16_t type, const std::string& path);
// A missing value is zero, false or the empty text; an empty array for an array type.
void ReadValue(const Json& j, const char* key, const std::string& path, std::uint16_t type,
               Variant& out);
Json VariantJson(const Variant& value);

// ---- writing --------------------------------------------------------------------------------

inline std::string HexText(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

template <class T>
Json OptionalJson(const std::optional<T>& v) {
  return v ? Json(*v) : Json(nullptr);
}

}  // namespace corvid::sim::json
