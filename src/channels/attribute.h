// TChannelAttribute: one typed, numbered property of a protocol-2 channel (unit, comments,
// limits ...), with the party that set its value and the time of that change.
#pragma once

#include <cstdint>
#include <string>

#include "channels/variant.h"
#include "util/datetime.h"

namespace corvid {

class TChannelAttribute {
 public:
  // ID 0, Type 0, empty value, LastChange 0, Owner = OwnSessionId().
  TChannelAttribute();
  TChannelAttribute(std::uint16_t id, std::uint16_t type);

  std::uint16_t ID = 0;    // 0 = not set
  std::uint16_t Type = 0;  // data type code of the value, may carry the array flag
  std::int16_t Owner = 0;  // the party that set the value
  TDateTime LastChange = 0;

  const Variant& Value() const noexcept { return value_; }
  // Stores a copy of `value` converted to Type. A value that does not convert (an array for a
  // scalar type, a text that is no number ...) is dropped silently and the old value stays.
  // Owner and LastChange are not touched.
  void SetValue(const Variant& value);

  // TypeName(Type): "Float4", "Array of Int4".
  std::string TypeText() const;
  // The value as display text with the type's default display format; array elements joined by
  // one blank. Never raises: on an error the text built so far.
  std::string ValueText() const;
  // LastChange as "d.mm.yyyy h:nn:ss" (milliseconds dropped); 0 gives 30.12.1899 0:00:00.
  std::u16string LastChangeText() const;

 private:
  friend class TChannel2;  // copies values that already have their type without converting
  Variant value_;
};

}  // namespace corvid
