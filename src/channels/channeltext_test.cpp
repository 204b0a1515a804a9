// TChannel2 texts: QualityText, ValuesText, ValueTextAt with enumerated and state views and the
// device formats of state arrays.
#include "channels/channel.h"

#include <gtest/gtest.h>

#include "channels/channel_test_util.h"

namespace corvid {
namespace {

using testing_channels::Array;
using testing_channels::Put;

class ChannelText : public testing_channels::PinnedLocale {};

TEST_F(ChannelText, QualityTextFromOwnAttributeOrTable) {
  TChannel2 c;
  c.SetQuality(7);
  EXPECT_EQ(c.QualityText(), "Нет связи");
  Put(c, 5107, kTypeString, "обрыв линии");
  EXPECT_EQ(c.QualityText(), "обрыв линии");
  c.SetQuality(12);
  EXPECT_EQ(c.QualityText(), "Quality=12");
  c.SetQuality(0);
  EXPECT_EQ(c.QualityText(), "ОК");
}

TEST_F(ChannelText, StateChannelsShowAQuestionMarkForABadQuality) {
  TChannel2 c;
  c.Type = kTypeInt4;
  c.SetValue(std::int32_t{4});
  Put(c, 7, kTypeInt2, std::int16_t{3});
  c.SetQuality(5);
  EXPECT_EQ(c.QualityText(), "Значение недостоверно");  // without attribute 11
  Put(c, 11, kTypeInt4, std::int32_t{1});
  Put(c, 5105, kTypeString, "не используется");
  EXPECT_EQ(c.QualityText(), "?");
  EXPECT_EQ(c.ValuesText(), "?");
  c.SetQuality(0);
  EXPECT_EQ(c.QualityText(), "0");
  EXPECT_EQ(c.ValuesText(), "4");  // the state text of the value
}

TEST_F(ChannelText, ValuesTextWithFormatsAndQuality) {
  TChannel2 c;
  c.Type = kTypeFloat4;
  c.SetValue(21.26);
  c.SetQuality(0);
  EXPECT_EQ(c.ValuesText(), "21,3");
  Put(c, 5002, kTypeString, "%.2f °C");
  EXPECT_EQ(c.ValuesText(), "21,26 °C");
  Put(c, 5002, kTypeString, "%s%s%n");  // refused: the type's own format instead
  EXPECT_EQ(c.ValuesText(), "21,3");
  c.SetQuality(7);
  EXPECT_EQ(c.ValuesText(), "Нет связи");

  TChannel2 array;
  array.Type = kArrayFlag | kTypeInt2;
  array.SetQuality(0);
  array.SetValue(Array(kTypeInt2, {1, -2, 3}));
  EXPECT_EQ(array.ValuesText(), "1 -2 3");
}

TEST_F(ChannelText, EnumeratedTexts) {
  TChannel2 c;
  c.Type = kTypeUInt1;
  c.SetQuality(0);
  Put(c, 7, kTypeInt2, std::int16_t{2});
  Put(c, 10, kArrayFlag | kTypeString, Array(kTypeString, {u"закрыто", u"открыто"}));
  c.SetValue(1);
  EXPECT_EQ(c.ValuesText(), "открыто");
  c.SetValue(5);
  EXPECT_EQ(c.ValuesText(), "Value=5");
  Put(c, 10, kTypeString, "не массив");
  c.SetValue(0);
  EXPECT_EQ(c.ValuesText(), "Value=0");
}

TEST_F(ChannelText, ValueTextAtGivesTheErrorText) {
  TChannel2 c;
  c.Type = kTypeString;
  c.SetValue("abc");
  Put(c, 7, kTypeInt2, std::int16_t{2});
  Put(c, 10, kArrayFlag | kTypeString, Array(kTypeString, {u"a"}));
  const std::string text = c.ValueTextAt(0);  // "abc" is no index
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text, "abc");
  EXPECT_EQ(text.find("Value="), std::string::npos);
  EXPECT_EQ(c.ValueTextAt(1), "abc");  // only element 0 is enumerated; a scalar at any index
}

// A state array channel of the device type `dtype`.
TChannel2 Device(std::uint16_t dtype, const std::vector<Variant>& values) {
  TChannel2 c;
  c.Type = kArrayFlag | kTypeUInt1;
  c.SetQuality(0);
  Put(c, 7, kTypeInt2, std::int16_t{3});
  Put(c, 5004, kTypeUInt2, dtype);
  c.SetValue(Array(kTypeUInt1, values));
  return c;
}

TEST_F(ChannelText, DeviceFormats) {
  struct Case {
    std::uint16_t dtype;
    std::vector<Variant> values;
    std::string text;
  };
  const Case cases[] = {
      {12, {0, 1, 7, 12}, "0 1 7 12"},  // four elements: no device format
      {12, {0, 1, 7, 12, 0}, "0 А=7    П=12  "},
      {12, {3, 2, 1, 2, 3, 4, 5, 6}, "3 А1=1    Ч1=2    А2=3    Ч2=4    П1=5    П2=6   "},
      {12, {3, 2, 1, 2, 3}, "3 А1=1    Ч1=2    А2=3    Ч2=0    П1=0    П2=0   "},
      {12, {4, 0, 1}, "4"},
      {15, {2, 1, 25}, "2 %НКПР=25"},
      {15, {2, 0, 25}, "2"},
      {9, {2, 1, 25}, "2 1 25"},
  };
  for (const Case& t : cases) {
    EXPECT_EQ(Device(t.dtype, t.values).ValuesText(), t.text) << t.dtype;
  }
  TChannel2 bad = Device(12, {0, 1, 7, 12, 0});
  bad.SetQuality(3);
  EXPECT_EQ(bad.ValuesText(), "Неисправен датчик");  // no attribute 11: no state text
}

}  // namespace
}  // namespace corvid
