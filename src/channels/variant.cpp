// VariantArray: construction with zero elements and the converting element store.
#include "channels/variant.h"

#include "channels/valueconvert.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid {
namespace {

Variant ZeroOf(std::uint16_t element) {
  switch (element) {
    case kTypeInt1:
      return std::int8_t{0};
    case kTypeUInt1:
      return std::uint8_t{0};
    case kTypeInt2:
      return std::int16_t{0};
    case kTypeUInt2:
      return std::uint16_t{0};
    case kTypeInt4:
      return std::int32_t{0};
    case kTypeUInt4:
      return std::uint32_t{0};
    case kTypeFloat4:
      return 0.0f;
    case kTypeFloat8:
      return 0.0;
    case kTypeDate:
      return DateValue{0};
    case kTypeBoolean:
      return false;
    default:
      return std::u16string();  // String
  }
}

}  // namespace

VariantArray::VariantArray(std::uint16_t element_type, std::size_t count)
    : element_type_(element_type) {
  if (!IsArrayElementType(element_type)) {
    throw Exception("MakeTypedArray: неверный тип данных (" + std::to_string(element_type) + ")");
  }
  items_.assign(count, ZeroOf(element_type));
}

void VariantArray::Set(std::size_t index, Variant value) {
  if (index >= items_.size()) {
    throw Exception("VariantArray: индекс " + std::to_string(index) + " вне границ массива");
  }
  if (value.IsArray()) throw Exception("VariantArray: элемент массива не может быть массивом");
  if (value.TypeCode() != element_type_) value = ConvertScalar(value, element_type_);
  if (const auto* text = value.GetIf<std::string>()) value = Utf8ToUtf16(*text);
  items_[index] = std::move(value);
}

bool operator==(const VariantArray& a, const VariantArray& b) {
  return a.element_type_ == b.element_type_ && a.items_ == b.items_;
}

}  // namespace corvid
