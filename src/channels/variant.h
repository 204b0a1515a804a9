// Variant: the dynamic value of the channel model. It is empty, a scalar of one of the element
// types of datatype.h, a text (8-bit UTF-8 or 16-bit UTF-16, both of type String) or a
// one-dimensional array of one element type. Scalars and short texts live inside the object (no
// heap allocation); copies are deep, equality compares kind and contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "channels/datatype.h"

namespace corvid {

// A date and time: days since 1899-12-30 00:00, the fraction being the time of day.
struct DateValue {
  double days = 0;
  friend bool operator==(const DateValue&, const DateValue&) = default;
};

class Variant;

// A one-dimensional array with index range 0 .. size()-1 whose elements all have exactly its
// element type; String elements are held as 16-bit text. Any element type but Empty is allowed.
class VariantArray {
 public:
  // `count` elements of zero, false or empty text. Raises Exception for an element type that an
  // array cannot have ("MakeTypedArray: неверный тип данных (N)").
  VariantArray(std::uint16_t element_type, std::size_t count);

  std::uint16_t ElementType() const noexcept { return element_type_; }
  std::size_t size() const noexcept;
  bool empty() const noexcept;
  // Unchecked index.
  const Variant& operator[](std::size_t index) const noexcept;
  const std::vector<Variant>& Items() const noexcept { return items_; }

  // Stores `value` at `index` converted to the element type (the conversion rules of
  // ConvertToType). Raises ConvertError when it does not convert and Exception for an index out of
  // range or an array value; the array is unchanged then.
  void Set(std::size_t index, Variant value);

  friend bool operator==(const VariantArray& a, const VariantArray& b);

 private:
  std::uint16_t element_type_;
  std::vector<Variant> items_;
};

class Variant {
 public:
  using Storage = std::variant<std::monostate, std::int8_t, std::uint8_t, std::int16_t,
                               std::uint16_t, std::int32_t, std::uint32_t, float, double, DateValue,
                               bool, std::string, std::u16string, VariantArray>;

  Variant() noexcept = default;
  // Implicit on purpose: Variant v = std::int16_t{5}; gives an Int2, 5 an Int4, 5u a UInt4.
  Variant(std::int8_t v) noexcept : value_(std::in_place_type<std::int8_t>, v) {}
  Variant(std::uint8_t v) noexcept : value_(std::in_place_type<std::uint8_t>, v) {}
  Variant(std::int16_t v) noexcept : value_(std::in_place_type<std::int16_t>, v) {}
  Variant(std::uint16_t v) noexcept : value_(std::in_place_type<std::uint16_t>, v) {}
  Variant(std::int32_t v) noexcept : value_(std::in_place_type<std::int32_t>, v) {}
  Variant(std::uint32_t v) noexcept : value_(std::in_place_type<std::uint32_t>, v) {}
  Variant(float v) noexcept : value_(std::in_place_type<float>, v) {}
  Variant(double v) noexcept : value_(std::in_place_type<double>, v) {}
  Variant(DateValue v) noexcept : value_(std::in_place_type<DateValue>, v) {}
  Variant(bool v) noexcept : value_(std::in_place_type<bool>, v) {}
  // 8-bit text is UTF-8.
  Variant(std::string v) noexcept : value_(std::in_place_type<std::string>, std::move(v)) {}
  Variant(std::string_view v) : value_(std::in_place_type<std::string>, v) {}
  Variant(const char* v) : value_(std::in_place_type<std::string>, v) {}
  Variant(std::u16string v) noexcept : value_(std::in_place_type<std::u16string>, std::move(v)) {}
  Variant(std::u16string_view v) : value_(std::in_place_type<std::u16string>, v) {}
  Variant(const char16_t* v) : value_(std::in_place_type<std::u16string>, v) {}
  Variant(VariantArray v) noexcept : value_(std::in_place_type<VariantArray>, std::move(v)) {}
  // Other pointers would silently become Boolean.
  Variant(const void*) = delete;
  Variant(std::nullptr_t) = delete;

  // The type code: element type (16-bit text counts as String) plus the array flag.
  std::uint16_t TypeCode() const noexcept;
  bool IsEmpty() const noexcept { return value_.index() == 0; }
  bool IsArray() const noexcept { return std::holds_alternative<VariantArray>(value_); }
  bool IsText() const noexcept {
    return std::holds_alternative<std::string>(value_) ||
           std::holds_alternative<std::u16string>(value_);
  }

  template <class T>
  bool Is() const noexcept {
    return std::holds_alternative<T>(value_);
  }
  // Raises std::bad_variant_access when the value is not a T.
  template <class T>
  const T& Get() const {
    return std::get<T>(value_);
  }
  template <class T>
  const T* GetIf() const noexcept {
    return std::get_if<T>(&value_);
  }
  VariantArray* MutableArray() noexcept { return std::get_if<VariantArray>(&value_); }
  const Storage& Value() const noexcept { return value_; }

  void Clear() noexcept { value_.emplace<std::monostate>(); }

  friend bool operator==(const Variant& a, const Variant& b) = default;

 private:
  Storage value_;
};

// The type code of a value (see Variant::TypeCode).
inline std::uint16_t TypeCodeOf(const Variant& value) noexcept {
  return value.TypeCode();
}

inline std::size_t VariantArray::size() const noexcept {
  return items_.size();
}
inline bool VariantArray::empty() const noexcept {
  return items_.empty();
}
inline const Variant& VariantArray::operator[](std::size_t index) const noexcept {
  return items_[index];
}

inline std::uint16_t Variant::TypeCode() const noexcept {
  // Indexed by the alternative of Storage.
  static constexpr std::uint16_t kCodes[] = {
      kTypeEmpty,  kTypeInt1,   kTypeUInt1, kTypeInt2,    kTypeUInt2,  kTypeInt4,   kTypeUInt4,
      kTypeFloat4, kTypeFloat8, kTypeDate,  kTypeBoolean, kTypeString, kTypeString, 0};
  const std::size_t index = value_.index();
  if (const auto* array = std::get_if<VariantArray>(&value_)) {
    return static_cast<std::uint16_t>(kArrayFlag | array->ElementType());
  }
  return index < std::size(kCodes) ? kCodes[index] : kTypeEmpty;  // valueless: as empty
}

}  // namespace corvid
