// TChannel2: the display texts of the quality and the value, with the enumerated and state views
// and the device formats of state arrays.
#include <cstdio>
#include <exception>

#include "channels/channel.h"
#include "channels/channelutils.h"
#include "channels/valueconvert.h"
#include "channels/vocabulary.h"
#include "util/text.h"

namespace corvid {
namespace {

// Device types whose state arrays have their own text.
constexpr std::uint8_t kDeviceCounters = 12;
constexpr std::uint8_t kDeviceGasSensor = 15;

std::string TextOf(const Variant& value) {
  if (const auto* text = value.GetIf<std::string>()) return *text;
  if (const auto* wide = value.GetIf<std::u16string>()) return Utf16ToUtf8(*wide);
  return ScalarText(ConvertScalar(value, kTypeString));
}

// "?" for a bad quality, otherwise the value as text.
std::string StateText(std::uint8_t quality, const Variant& value) {
  return quality != 0 ? std::string("?") : TextOf(value);
}

template <class T>
T ElementAs(const Variant& element, std::uint16_t code) {
  if (element.IsEmpty()) return T{};  // an element beyond the array counts as 0
  return ConvertScalar(element, code).Get<T>();
}

}  // namespace

std::string TChannel2::QualityText() const {
  if (EUType() == kEUState && GetAttribute(attr_id::kEUInfo3) != nullptr) {
    return StateText(quality_, std::int32_t{0});
  }
  if (const TChannelAttribute* own = GetAttribute(attr_id::kQualityTextBase + quality_)) {
    return TextOf(own->Value());
  }
  return QualityName(quality_);
}

std::string TChannel2::ValueTextAt(std::int32_t index) const {
  try {
    const Variant value = ValueAt(index);
    if (index == 0) {
      const std::int16_t eu_type = EUType();
      if (eu_type == kEUEnumerated) {
        if (const TChannelAttribute* texts = GetAttribute(attr_id::kEUInfo2)) {
          const std::int32_t k = ConvertScalar(value, kTypeInt4).Get<std::int32_t>();
          const VariantArray* array = texts->Value().GetIf<VariantArray>();
          if (array != nullptr && k >= 0 && static_cast<std::size_t>(k) < array->size()) {
            return TextOf((*array)[static_cast<std::size_t>(k)]);
          }
          return "Value=" + std::to_string(k);
        }
      } else if (eu_type == kEUState && GetAttribute(attr_id::kEUInfo3) != nullptr) {
        return StateText(quality_, value);
      }
    }
    return FormatValue(Type, FormatString(), value);
  } catch (const std::exception& e) {
    const std::string message = e.what();
    return message.empty() ? std::string("неизвестное исключение!") : message;
  } catch (...) {
    return "неизвестное исключение!";
  }
}

std::string TChannel2::ValuesText() const {
  if (quality_ != 0) return QualityText();
  const std::int32_t count = ValueCount();
  if (IsArrayType(Type) && (count == 3 || count == 5 || count == 8) &&
      GetAttribute(attr_id::kDTYPE) != nullptr && EUType() == kEUState) {
    const std::uint8_t device = ConvertScalar(Variant(DTYPE()), kTypeUInt1).Get<std::uint8_t>();
    if (device == kDeviceCounters) {
      std::string text = ValueTextAt(0);
      const auto u1 = [this](int i) {
        return static_cast<unsigned>(ElementAs<std::uint8_t>(ValueAt(i), kTypeUInt1));
      };
      char tail[160];
      tail[0] = '\0';
      if (u1(1) == 1) {
        std::snprintf(tail, sizeof tail, " А=%-4u П=%-4u", u1(2), u1(3));
      } else if (u1(1) == 2) {
        std::snprintf(tail, sizeof tail, " А1=%-4u Ч1=%-4u А2=%-4u Ч2=%-4u П1=%-4u П2=%-4u", u1(2),
                      u1(3), u1(4), u1(5), u1(6), u1(7));
      }
      return text + tail;
    }
    if (device == kDeviceGasSensor) {
      std::string text = ValueTextAt(0);
      if (ElementAs<std::uint8_t>(ValueAt(1), kTypeUInt1) == 1) {
        char tail[64];
        std::snprintf(tail, sizeof tail, " %%НКПР=%d",
                      static_cast<int>(ElementAs<std::int32_t>(ValueAt(2), kTypeInt4)));
        text += tail;
      }
      return text;
    }
  }
  std::string text;
  for (std::int32_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += ValueTextAt(i);
  }
  return text;
}

}  // namespace corvid
