// The value codec: ConvertToType, the binary form of typed values, MakeTypedArray and TypeName.
#include "channels/channelutils.h"

#include <bit>
#include <string_view>

#include "channels/valueconvert.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid {
namespace {

constexpr std::size_t kMaxCount = 0xFFFF;  // of the 16-bit element and byte counts

template <class U>
void Store(std::uint8_t* p, U bits) {
  for (std::size_t i = 0; i < sizeof(U); ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

template <class U>
U Load(const std::uint8_t* p) {
  U bits = 0;
  for (std::size_t i = 0; i < sizeof(U); ++i)
    bits |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  return bits;
}

std::string Number(unsigned value) {
  return std::to_string(value);
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsAscii(std::u16string_view text) {
  for (const char16_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

void NeedRoom(int size, std::size_t needed) {
  if (size < 0 || static_cast<std::size_t>(size) < needed) {
    throw Exception("VariantToBinary: недостаточный размер буфера");
  }
}

template <class U>
int Put(std::uint8_t* buffer, int size, U bits) {
  NeedRoom(size, sizeof(U));
  Store<U>(buffer, bits);
  return static_cast<int>(sizeof(U));
}

// A String in its binary form: the byte count and the windows-1251 bytes.
int PutText(std::uint8_t* buffer, int size, const Variant& value) {
  std::string converted;
  std::string_view bytes;
  if (const auto* text = value.GetIf<std::string>()) {
    if (IsAscii(*text)) {
      bytes = *text;
    } else {
      converted = Utf8ToCp1251(*text);
      bytes = converted;
    }
  } else {
    const auto& wide = value.Get<std::u16string>();
    if (IsAscii(wide)) {
      NeedRoom(size, wide.size() + 2);
      if (wide.size() > kMaxCount) {
        throw Exception("VariantToBinary: слишком длинный текст (" + std::to_string(wide.size()) +
                        " байт)");
      }
      Store<std::uint16_t>(buffer, static_cast<std::uint16_t>(wide.size()));
      for (std::size_t i = 0; i < wide.size(); ++i)
        buffer[2 + i] = static_cast<std::uint8_t>(wide[i]);
      return static_cast<int>(wide.size() + 2);
    }
    converted = Utf16ToCp1251(wide);
    bytes = converted;
  }
  NeedRoom(size, bytes.size() + 2);
  if (bytes.size() > kMaxCount) {
    throw Exception("VariantToBinary: слишком длинный текст (" + std::to_string(bytes.size()) +
                    " байт)");
  }
  Store<std::uint16_t>(buffer, static_cast<std::uint16_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), buffer + 2);
  return static_cast<int>(bytes.size() + 2);
}

int PutScalar(std::uint8_t* buffer, int size, const Variant& value) {
  const std::uint16_t type = ElementType(value.TypeCode());
  switch (type) {
    case kTypeEmpty:
      return 0;
    case kTypeInt1:
      return Put(buffer, size, std::bit_cast<std::uint8_t>(value.Get<std::int8_t>()));
    case kTypeUInt1:
      return Put(buffer, size, value.Get<std::uint8_t>());
    case kTypeInt2:
      return Put(buffer, size, std::bit_cast<std::uint16_t>(value.Get<std::int16_t>()));
    case kTypeUInt2:
      return Put(buffer, size, value.Get<std::uint16_t>());
    case kTypeInt4:
      return Put(buffer, size, std::bit_cast<std::uint32_t>(value.Get<std::int32_t>()));
    case kTypeUInt4:
      return Put(buffer, size, value.Get<std::uint32_t>());
    case kTypeFloat4:
      return Put(buffer, size, std::bit_cast<std::uint32_t>(value.Get<float>()));
    case kTypeFloat8:
      return Put(buffer, size, std::bit_cast<std::uint64_t>(value.Get<double>()));
    case kTypeDate:
      return Put(buffer, size, std::bit_cast<std::uint64_t>(value.Get<DateValue>().days));
    case kTypeBoolean:
      return Put(buffer, size,
                 std::uint16_t{value.Get<bool>() ? std::uint16_t{0xFFFF} : std::uint16_t{0}});
    case kTypeString:
      return PutText(buffer, size, value);
    default:
      throw Exception("VariantToBinary: неверный тип данных (" + Number(type) + ")");
  }
}

[[noreturn]] void ShortInput() {
  throw Exception("BinaryToVariant: недостаточно данных");
}

template <class U>
U Get(const std::uint8_t* buffer, int size) {
  if (size < static_cast<int>(sizeof(U))) ShortInput();
  return Load<U>(buffer);
}

// Decodes one scalar of a known element type into `value`; returns the bytes used. Texts become
// 16-bit text when `wide_text` is set (array elements), 8-bit text otherwise.
int TakeScalar(Variant& value, std::uint16_t element, const std::uint8_t* buffer, int size,
               bool wide_text) {
  switch (element) {
    case kTypeEmpty:
      value.Clear();
      return 0;
    case kTypeInt1:
      value = std::bit_cast<std::int8_t>(Get<std::uint8_t>(buffer, size));
      return 1;
    case kTypeUInt1:
      value = Get<std::uint8_t>(buffer, size);
      return 1;
    case kTypeInt2:
      value = std::bit_cast<std::int16_t>(Get<std::uint16_t>(buffer, size));
      return 2;
    case kTypeUInt2:
    case kTypeBoolean:  // the word as read; the receiver converts it to its declared type
      value = Get<std::uint16_t>(buffer, size);
      return 2;
    case kTypeInt4:
      value = std::bit_cast<std::int32_t>(Get<std::uint32_t>(buffer, size));
      return 4;
    case kTypeUInt4:
      value = Get<std::uint32_t>(buffer, size);
      return 4;
    case kTypeFloat4:
      value = std::bit_cast<float>(Get<std::uint32_t>(buffer, size));
      return 4;
    case kTypeFloat8:
      value = std::bit_cast<double>(Get<std::uint64_t>(buffer, size));
      return 8;
    case kTypeDate:
      value = DateValue{std::bit_cast<double>(Get<std::uint64_t>(buffer, size))};
      return 8;
    case kTypeString: {
      const std::uint16_t count = Get<std::uint16_t>(buffer, size);
      if (size - 2 < count) ShortInput();
      const std::string_view bytes(reinterpret_cast<const char*>(buffer + 2), count);
      if (wide_text) {
        value = Cp1251ToUtf16(bytes);
      } else {
        value = IsAscii(bytes) ? std::string(bytes) : Cp1251ToUtf8(bytes);
      }
      return 2 + count;
    }
    default:
      throw Exception("BinaryToVariant: неверный тип данных (" + Number(element) + ")");
  }
}

}  // namespace

void ConvertToType(Variant& value, std::uint16_t code) {
  const std::uint16_t element = ElementType(code);
  const bool to_array = IsArrayType(code);
  if (to_array && !IsArrayElementType(element)) {
    throw ConvertError("ConvertToType: неверный тип данных (" + Number(element) + ")");
  }
  if (const VariantArray* array = value.GetIf<VariantArray>()) {
    if (!to_array) {
      throw Exception("ConvertToType: присвоение массива " + TypeName(array->ElementType()) +
                      " простому типу данных " + TypeName(element));
    }
    if (array->ElementType() == element) return;
    VariantArray converted(element, array->size());
    for (std::size_t i = 0; i < array->size(); ++i) converted.Set(i, (*array)[i]);
    value = std::move(converted);
    return;
  }
  if (to_array) {
    // The scalar becomes the one element (converted), so that no value is lost.
    VariantArray single(element, 1);
    single.Set(0, value);
    value = std::move(single);
    return;
  }
  if (value.TypeCode() == element) return;
  value = ConvertScalar(value, element);
}

void VariantToBinary2(const Variant& value, std::uint16_t code, std::uint8_t* buffer, int size,
                      int& written, bool with_type) {
  if (buffer == nullptr && (code != kTypeEmpty || with_type)) {
    throw Exception("VariantToBinary2: буфер пуст");
  }
  if (with_type && size < 2) throw Exception("VariantToBinary2: буфер не задан");
  const std::uint16_t element = ElementType(code);
  if (!IsKnownElementType(element) || (IsArrayType(code) && element == kTypeEmpty)) {
    throw Exception("VariantToBinary: неверный тип данных (" + Number(element) + ")");
  }
  const std::uint16_t declared = code & (kArrayFlag | kElementMask);
  const Variant* typed = &value;
  Variant converted;
  if (value.TypeCode() != declared) {
    converted = value;
    ConvertToType(converted, declared);
    typed = &converted;
  }
  int position = 0;
  if (with_type) {
    Store<std::uint16_t>(buffer, code);
    position = 2;
  }
  if (const VariantArray* array = typed->GetIf<VariantArray>()) {
    NeedRoom(size - position, 2);
    if (array->size() > kMaxCount) {
      throw Exception("VariantToBinary2: слишком много элементов массива (" +
                      std::to_string(array->size()) + ")");
    }
    Store<std::uint16_t>(buffer + position, static_cast<std::uint16_t>(array->size()));
    position += 2;
  }
  int n = 0;
  VariantToBinary(*typed, position == 0 ? buffer : buffer + position, size - position, n);
  written = position + n;
}

void VariantToBinary(const Variant& value, std::uint8_t* buffer, int size, int& written) {
  if (buffer == nullptr || size < 0) throw Exception("VariantToBinary: неверный параметр");
  if (const VariantArray* array = value.GetIf<VariantArray>()) {
    int total = 0;
    for (const Variant& item : array->Items()) {
      int n = 0;
      VariantToBinary(item, buffer + total, size - total, n);
      total += n;
      if (total > size) throw Exception("VariantToBinary: недостаточно места в массиве");
    }
    written = total;
    return;
  }
  written = PutScalar(buffer, size, value);
}

void BinaryToVariant2(Variant& value, std::uint16_t code, const std::uint8_t* buffer, int size,
                      int& consumed, bool with_type) {
  if (buffer == nullptr && (code != kTypeEmpty || with_type)) {
    throw Exception("BinaryToVariant2: буфер пуст");
  }
  if (with_type && size < 2) throw Exception("BinaryToVariant2: буфер не задан");
  int position = 0;
  if (with_type) {
    code = Load<std::uint16_t>(buffer);
    position = 2;
  }
  const std::uint16_t element = ElementType(code);
  if (!IsArrayType(code)) {
    int n = 0;
    BinaryToVariant(value, element, position == 0 ? buffer : buffer + position, size - position, n);
    consumed = position + n;
    return;
  }
  if (size - position < 2) throw Exception("BinaryToVariant2: недостаточно данных");
  const std::uint16_t count = Load<std::uint16_t>(buffer + position);
  position += 2;
  if (!IsArrayElementType(element)) {
    throw Exception("BinaryToVariant: неверный тип данных (" + Number(element) + ")");
  }
  // The count is not trusted: every element needs at least its smallest form.
  if (static_cast<long long>(count) * MinBinarySize(element) > size - position) {
    throw Exception("BinaryToVariant2: недостаточно данных");
  }
  VariantArray array(element, count);
  Variant item;
  for (std::size_t i = 0; i < count; ++i) {
    position += TakeScalar(item, element, buffer + position, size - position, true);
    array.Set(i, std::move(item));
  }
  value = std::move(array);
  consumed = position;
}

void BinaryToVariant(Variant& value, std::uint16_t code, const std::uint8_t* buffer, int size,
                     int& consumed) {
  if (size < 0) throw Exception("BinaryToVariant: неверный параметр");
  if (code != kTypeEmpty && buffer == nullptr) throw Exception("BinaryToVariant: буфер пуст");
  if (IsArrayType(code)) throw Exception("BinaryToVariant: массив недопустим");
  consumed = TakeScalar(value, ElementType(code), buffer, size, false);
}

Variant MakeTypedArray(std::uint16_t code, int count) {
  if (count < 0) {
    throw Exception("MakeTypedArray: неверное число элементов (" + std::to_string(count) + ")");
  }
  return VariantArray(ElementType(code), static_cast<std::size_t>(count));
}

std::string TypeName(std::uint16_t code) {
  const std::uint16_t element = ElementType(code);
  std::string name;
  switch (element) {
    case kTypeEmpty:
      name = "Empty";
      break;
    case kTypeInt2:
      name = "Int2";
      break;
    case kTypeInt4:
      name = "Int4";
      break;
    case kTypeFloat4:
      name = "Float4";
      break;
    case kTypeFloat8:
      name = "Float8";
      break;
    case kTypeDate:
      name = "Date";
      break;
    case kTypeBoolean:
      name = "Boolean";
      break;
    case kTypeInt1:
      name = "Int1";
      break;
    case kTypeUInt1:
      name = "UInt1";
      break;
    case kTypeUInt2:
      name = "UInt2";
      break;
    case kTypeUInt4:
      name = "UInt4";
      break;
    case kTypeString:
      name = "String";
      break;
    default:
      name = Number(element);
      break;
  }
  return IsArrayType(code) ? "Array of " + name : name;
}

}  // namespace corvid
