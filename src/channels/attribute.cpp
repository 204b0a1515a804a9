// TChannelAttribute: value setter and display texts.
#include "channels/attribute.h"

#include <cstdio>
#include <exception>

#include "channels/channelutils.h"
#include "channels/ownsession.h"
#include "util/text.h"

namespace corvid {

TChannelAttribute::TChannelAttribute() : Owner(OwnSessionId()) {}

TChannelAttribute::TChannelAttribute(std::uint16_t id, std::uint16_t type)
    : ID(id), Type(type), Owner(OwnSessionId()) {}

void TChannelAttribute::SetValue(const Variant& value) {
  try {
    Variant converted = value;
    ConvertToType(converted, Type);
    value_ = std::move(converted);
  } catch (const std::exception&) {
    // The old value stays.
  }
}

std::string TChannelAttribute::TypeText() const {
  return TypeName(Type);
}

std::string TChannelAttribute::ValueText() const {
  std::string text;
  try {
    const std::string format = DisplayFormat(Type);
    if (const VariantArray* array = value_.GetIf<VariantArray>()) {
      for (std::size_t i = 0; i < array->size(); ++i) {
        if (i > 0) text += ' ';
        text += FormatValue(Type, format, (*array)[i]);
      }
    } else {
      text = FormatValue(Type, format, value_);
    }
  } catch (const std::exception&) {
    // The text built so far.
  }
  return text;
}

std::u16string TChannelAttribute::LastChangeText() const {
  const DateTimeParts parts = DecodeDateTime(LastChange);
  char text[64];
  std::snprintf(text, sizeof text, "%u.%02u.%04u %u:%02u:%02u", static_cast<unsigned>(parts.day),
                static_cast<unsigned>(parts.month), static_cast<unsigned>(parts.year),
                static_cast<unsigned>(parts.hour), static_cast<unsigned>(parts.minute),
                static_cast<unsigned>(parts.second));
  return Utf8ToUtf16(text);
}

}  // namespace corvid
