// Helpers of the channel model tests: pinned display formats, a description table, arrays.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "channels/channel.h"
#include "platform/locale.h"

namespace corvid::testing_channels {

// The Russian display formats, pinned for the test's duration.
class PinnedLocale : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetDisplayFormats(platform::DisplayFormats{}); }
  void TearDown() override { platform::ResetDisplayFormats(); }
};

struct Described {
  std::uint16_t id;
  std::uint16_t type;
};

// A description table with the given rows.
inline void Describe(TAttributeDescriptionList& list, const std::vector<Described>& rows) {
  std::string xml = "<attrs>";
  for (const Described& row : rows) {
    xml += "<attr><id>" + std::to_string(row.id) + "</id><type>" + std::to_string(row.type) +
           "</type><name>a" + std::to_string(row.id) + "</name></attr>";
  }
  xml += "</attrs>";
  std::string error;
  ASSERT_TRUE(list.LoadXML(xml, &error, false)) << error;
}

inline Variant Array(std::uint16_t element, const std::vector<Variant>& items) {
  VariantArray array(element, items.size());
  for (std::size_t i = 0; i < items.size(); ++i) array.Set(i, items[i]);
  return array;
}

// Puts an attribute of `type` holding `value` into `channel`.
inline void Put(TChannel2& channel, std::uint16_t id, std::uint16_t type, const Variant& value) {
  TChannelAttribute attribute(id, type);
  attribute.SetValue(value);
  channel.PutAttribute(&attribute);
}

}  // namespace corvid::testing_channels
