// TChannel2: the properties that are views of an attribute with a fixed identifier.
#include <cstddef>
#include <exception>

#include "channels/channel.h"
#include "channels/channelutils.h"
#include "channels/valueconvert.h"
#include "channels/vocabulary.h"
#include "util/text.h"

namespace corvid {
namespace {

// The value of attribute `id` converted to the scalar type T of element code `element`; T{} when
// there is no such attribute. Raises when the value does not convert.
template <class T>
T AttributeAs(const TChannel2& channel, std::uint16_t id, std::uint16_t element) {
  const TChannelAttribute* attribute = channel.GetAttribute(id);
  if (attribute == nullptr) return T{};
  const Variant converted = ConvertScalar(attribute->Value(), element);
  const T* typed = converted.GetIf<T>();
  return typed != nullptr ? *typed : T{};
}

// A value as 8-bit text; raises for an array.
std::string TextOf(const Variant& value) {
  if (const auto* text = value.GetIf<std::string>()) return *text;
  if (const auto* wide = value.GetIf<std::u16string>()) return Utf16ToUtf8(*wide);
  return ScalarText(ConvertScalar(value, kTypeString));
}

std::string AttributeText(const TChannel2& channel, std::uint16_t id) {
  const TChannelAttribute* attribute = channel.GetAttribute(id);
  return attribute != nullptr ? TextOf(attribute->Value()) : std::string();
}

}  // namespace

std::int16_t TChannel2::EUType() const {
  return AttributeAs<std::int16_t>(*this, attr_id::kEUType, kTypeInt2);
}
std::int32_t TChannel2::EUInfo3() const {
  return AttributeAs<std::int32_t>(*this, attr_id::kEUInfo3, kTypeInt4);
}
std::string TChannel2::Unit() const {
  return AttributeText(*this, attr_id::kUnit);
}
std::string TChannel2::Comments() const {
  return AttributeText(*this, attr_id::kComments);
}
std::string TChannel2::Prefix() const {
  return AttributeText(*this, attr_id::kPrefix);
}

std::string TChannel2::FullComments() const {
  std::string text = Prefix();
  if (!text.empty() && text.back() != ' ') text += ' ';
  return text + Comments();
}

std::string TChannel2::Description() const {
  return AttributeText(*this, attr_id::kDescription);
}
std::int16_t TChannel2::ConnectionQuality() const {
  return AttributeAs<std::int16_t>(*this, attr_id::kConnectionQuality, kTypeInt2);
}

std::string TChannel2::FormatString() const {
  std::string format = AttributeText(*this, attr_id::kFormatString);
  return format.empty() ? DisplayFormat(Type) : format;
}

bool TChannel2::Masked() const {
  return AttributeAs<bool>(*this, attr_id::kMasked, kTypeBoolean);
}

std::int32_t TChannel2::AlarmID(std::int32_t index) const {
  if (index < 0 || index > 2) return 0;
  const TChannelAttribute* attribute = GetAttribute(attr_id::kAlarmID);
  if (attribute == nullptr) return 0;
  const VariantArray* array = attribute->Value().GetIf<VariantArray>();
  if (array == nullptr || static_cast<std::size_t>(index) >= array->size()) return 0;
  return ConvertScalar((*array)[static_cast<std::size_t>(index)], kTypeInt4).Get<std::int32_t>();
}

std::uint16_t TChannel2::DTYPE() const {
  return AttributeAs<std::uint16_t>(*this, attr_id::kDTYPE, kTypeUInt2);
}
std::uint16_t TChannel2::SYSM() const {
  return AttributeAs<std::uint16_t>(*this, attr_id::kSYSM, kTypeUInt2);
}
std::uint16_t TChannel2::Signification() const {
  return AttributeAs<std::uint16_t>(*this, attr_id::kSignification, kTypeUInt2);
}
std::string TChannel2::SignificationText() const {
  return SignificationName(Signification());
}
std::u16string TChannel2::AlarmMessage() const {
  return Utf8ToUtf16(AttributeText(*this, attr_id::kAlarmMessage));
}
std::u16string TChannel2::SoundFile() const {
  return Utf8ToUtf16(AttributeText(*this, attr_id::kSoundFile));
}
bool TChannel2::WatchLimits() const {
  return AttributeAs<bool>(*this, attr_id::kWatchLimits, kTypeBoolean);
}

void TChannel2::SetEUType(const Descriptions& d, std::int16_t v) {
  SetOwnAttributeValue(d, attr_id::kEUType, v);
}
void TChannel2::SetEUInfo1(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kEUInfo1, v);
}
void TChannel2::SetEUInfo2(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kEUInfo2, v);
}
void TChannel2::SetEUInfo3(const Descriptions& d, std::int32_t v) {
  SetOwnAttributeValue(d, attr_id::kEUInfo3, v);
}
void TChannel2::SetUnit(const Descriptions& d, const std::string& v) {
  SetOwnAttributeValue(d, attr_id::kUnit, v);
}
void TChannel2::SetComments(const Descriptions& d, const std::string& v) {
  SetOwnAttributeValue(d, attr_id::kComments, v);
}
void TChannel2::SetPrefix(const Descriptions& d, const std::string& v) {
  SetOwnAttributeValue(d, attr_id::kPrefix, v);
}
void TChannel2::SetDescription(const Descriptions& d, const std::string& v) {
  SetOwnAttributeValue(d, attr_id::kDescription, v);
}
void TChannel2::SetConnectionQuality(const Descriptions& d, std::int16_t v) {
  SetOwnAttributeValue(d, attr_id::kConnectionQuality, v);
}
void TChannel2::SetFormatString(const Descriptions& d, const std::string& v) {
  SetOwnAttributeValue(d, attr_id::kFormatString, v);
}
void TChannel2::SetMasked(const Descriptions& d, bool v) {
  SetOwnAttributeValue(d, attr_id::kMasked, v);
}

void TChannel2::SetAlarmID(const Descriptions& d, std::int32_t index, std::int32_t v) {
  if (index < 0 || index > 2) return;
  Variant ids = AttributeValue(attr_id::kAlarmID);
  VariantArray* array = ids.MutableArray();
  if (array == nullptr) {
    ids = MakeTypedArray(kArrayFlag | kTypeInt4, 3);
    array = ids.MutableArray();
  }
  try {
    // A shorter array than three grows to three elements of its own type.
    if (static_cast<std::size_t>(index) >= array->size()) {
      VariantArray grown(array->ElementType(), 3);
      for (std::size_t i = 0; i < array->size(); ++i) grown.Set(i, (*array)[i]);
      ids = std::move(grown);
      array = ids.MutableArray();
    }
    array->Set(static_cast<std::size_t>(index), v);
  } catch (const std::exception&) {
    return;  // v does not fit the stored array's element type: the value is dropped
  }
  SetOwnAttributeValue(d, attr_id::kAlarmID, ids);
}

void TChannel2::SetDTYPE(const Descriptions& d, std::uint16_t v) {
  SetOwnAttributeValue(d, attr_id::kDTYPE, v);
}
void TChannel2::SetSYSM(const Descriptions& d, std::uint16_t v) {
  SetOwnAttributeValue(d, attr_id::kSYSM, v);
}
void TChannel2::SetSignification(const Descriptions& d, std::uint16_t v) {
  SetOwnAttributeValue(d, attr_id::kSignification, v);
}
void TChannel2::SetHiHiLimit(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kHiHiLimit, v);
}
void TChannel2::SetHiLimit(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kHiLimit, v);
}
void TChannel2::SetLoLimit(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kLoLimit, v);
}
void TChannel2::SetLoLoLimit(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kLoLoLimit, v);
}
void TChannel2::SetDeadband(const Descriptions& d, const Variant& v) {
  SetOwnAttributeValue(d, attr_id::kDeadband, v);
}
void TChannel2::SetAlarmMessage(const Descriptions& d, const std::u16string& v) {
  SetOwnAttributeValue(d, attr_id::kAlarmMessage, v);
}
void TChannel2::SetSoundFile(const Descriptions& d, const std::u16string& v) {
  SetOwnAttributeValue(d, attr_id::kSoundFile, v);
}
void TChannel2::SetWatchLimits(const Descriptions& d, bool v) {
  SetOwnAttributeValue(d, attr_id::kWatchLimits, v);
}

}  // namespace corvid
