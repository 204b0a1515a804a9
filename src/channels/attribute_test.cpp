// TChannelAttribute: the converting value setter, the display texts, the owner of new attributes.
#include "channels/attribute.h"

#include <gtest/gtest.h>

#include "channels/channel_test_util.h"
#include "channels/channelutils.h"
#include "channels/ownsession.h"

namespace corvid {
namespace {

using testing_channels::Array;

class ChannelAttribute : public testing_channels::PinnedLocale {};

TEST_F(ChannelAttribute, SetValueConvertsToTypeOrKeepsTheOldValue) {
  TChannelAttribute a(5, kTypeInt4);
  a.SetValue("12");
  EXPECT_EQ(a.Value(), Variant(std::int32_t{12}));
  a.SetValue("abc");  // no number
  EXPECT_EQ(a.Value(), Variant(std::int32_t{12}));
  a.SetValue(Array(kTypeFloat8, {1.5}));  // array for a scalar type
  EXPECT_EQ(a.Value(), Variant(std::int32_t{12}));
  a.SetValue(3.5);  // half to even
  EXPECT_EQ(a.Value(), Variant(std::int32_t{4}));

  TChannelAttribute none(6, kTypeEmpty);
  none.SetValue(42);
  EXPECT_TRUE(none.Value().IsEmpty());
  EXPECT_EQ(none.ValueText(), "");
}

TEST_F(ChannelAttribute, ValueTextUsesTheTypesDisplayFormat) {
  struct Case {
    std::uint16_t type;
    Variant value;
    std::string text;
  };
  const Case cases[] = {
      {kTypeFloat8, 21.456, "21,46"},
      {kTypeFloat4, 2.25f, "2,2"},
      {kArrayFlag | kTypeUInt2, Array(kTypeUInt2, {1, 2, 3}), "1 2 3"},
      {kTypeBoolean, true, "да"},
      {kTypeString, "%d градус", "%d градус"},  // a text is never a format
      {kTypeInt2, std::int16_t{-7}, "-7"},
  };
  for (const Case& c : cases) {
    TChannelAttribute a(1, c.type);
    a.SetValue(c.value);
    EXPECT_EQ(a.ValueText(), c.text) << TypeName(c.type);
  }
}

TEST_F(ChannelAttribute, TypeAndLastChangeTexts) {
  TChannelAttribute a(1, kArrayFlag | kTypeFloat4);
  EXPECT_EQ(a.TypeText(), "Array of Float4");
  EXPECT_EQ(a.LastChangeText(), u"30.12.1899 0:00:00");
  a.LastChange = EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 870);  // milliseconds dropped
  EXPECT_EQ(a.LastChangeText(), u"5.03.2024 7:08:09");
  a.LastChange = EncodeDate(2023, 12, 31) + EncodeTime(23, 59, 59, 0);
  EXPECT_EQ(a.LastChangeText(), u"31.12.2023 23:59:59");
}

TEST_F(ChannelAttribute, OwnerOfANewAttributeIsTheOwnSessionId) {
  EXPECT_EQ(TChannelAttribute().Owner, -1);  // before the first registration
  SetOwnSessionId(0x1234);
  EXPECT_EQ(TChannelAttribute().Owner, 0x1234);
  EXPECT_EQ(TChannel2().Creator, 0x1234);
  SetOwnSessionId(-1);
}

}  // namespace
}  // namespace corvid
