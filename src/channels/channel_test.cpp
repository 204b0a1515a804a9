// TChannel2: initial state, UpdateFrom order and masks, attribute merging, the attribute-backed
// properties.
#include "channels/channel.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "channels/channel_test_util.h"
#include "util/error.h"

namespace corvid {
namespace {

using testing_channels::Array;
using testing_channels::Describe;
using testing_channels::Put;

class Channel : public testing_channels::PinnedLocale {};

TEST_F(Channel, NewChannel) {
  const TChannel2 c;
  EXPECT_EQ(c.Quality(), 2);
  EXPECT_EQ(c.QualityText(), "Состояние не определено");
  EXPECT_EQ(c.Owner, -32768);
  EXPECT_TRUE(c.IsFromDriver());
  EXPECT_FALSE(c.Valid());
  EXPECT_EQ(c.ValueCount(), 1);
  EXPECT_EQ(c.FormatString(), "");
  EXPECT_EQ(c.AttributeCount(), 0);
  EXPECT_FALSE(c.LocalNumber);
}

// A source whose every part differs from a new channel.
TChannel2 FullSource() {
  TChannel2 s;
  s.Creator = 77;
  s.Addr = "1.2.3";
  s.Number = 9;
  s.LocalNumber = true;
  s.Type = kTypeInt4;
  Put(s, 100, kTypeString, "м3");
  s.Active = true;
  s.WriteEnable = true;
  s.SaveValue = true;
  s.Groups = 0x30;
  s.UserValue = "u";
  s.SpareSlot = 5;
  s.OpcHandle = 44;
  s.SpareWord = 6;
  s.Owner = 3;
  s.DT = 45000.25;
  s.SetQuality(0);
  s.SetValue(std::int32_t{321});
  return s;
}

// The names of the parts in which two channels differ.
std::set<std::string> Differences(const TChannel2& a, const TChannel2& b) {
  std::set<std::string> d;
  const auto check = [&](const char* name, bool same) {
    if (!same) d.insert(name);
  };
  check("Creator", a.Creator == b.Creator);
  check("Addr", a.Addr == b.Addr);
  check("Number", a.Number == b.Number && a.LocalNumber == b.LocalNumber);
  check("Type", a.Type == b.Type);
  check("Attributes", a.AttributeCount() == b.AttributeCount());
  check("Active", a.Active == b.Active);
  check("WriteEnable", a.WriteEnable == b.WriteEnable);
  check("SaveValue", a.SaveValue == b.SaveValue);
  check("Groups", a.Groups == b.Groups);
  check("Binding",
        a.UserValue == b.UserValue && a.SpareSlot == b.SpareSlot && a.OpcHandle == b.OpcHandle);
  check("SpareWord", a.SpareWord == b.SpareWord);
  check("Owner", a.Owner == b.Owner);
  check("DT", a.DT == b.DT);
  check("Quality", a.Quality() == b.Quality());
  check("Value", a.Value() == b.Value());
  return d;
}

TEST_F(Channel, EachMaskBitCopiesItsPartOnly) {
  const std::map<std::uint16_t, std::set<std::string>> cases = {
      {0x0001, {"Addr"}},        {0x0002, {"Number"}},     {0x0004, {"Type"}},
      {0x0008, {"Attributes"}},  {0x0010, {"Attributes"}}, {0x0020, {"Active"}},
      {0x0040, {"Binding"}},     {0x0080, {"Owner"}},      {0x0100, {"DT"}},
      {0x0200, {"Quality"}},     {0x0400, {"Value"}},      {0x0800, {"Creator"}},
      {0x1000, {"WriteEnable"}}, {0x2000, {"SpareWord"}},  {0x4000, {"SaveValue"}},
      {0x8000, {"Groups"}},
  };
  const TChannel2 source = FullSource();
  TChannel2 fresh;
  fresh.Type = kTypeFloat8;  // so that the value bit alone converts the value
  fresh.SetValue(0.0);
  for (const auto& [mask, parts] : cases) {
    TChannel2 target = fresh;
    target.UpdateFrom(&source, mask);
    EXPECT_EQ(Differences(fresh, target), parts) << std::hex << mask;
  }
  TChannel2 all;
  all.CopyFrom(&source);
  EXPECT_TRUE(Differences(all, source).empty());
  EXPECT_EQ(all.GetAttribute(100)->Value(), Variant("м3"));
}

TEST_F(Channel, TypeIsTakenBeforeTheValue) {
  TChannel2 source;
  source.Type = kTypeInt4;
  source.SetValue(std::int32_t{12});

  TChannel2 with_type;
  with_type.Type = kTypeFloat8;
  with_type.UpdateFrom(&source, 0x0404);
  EXPECT_EQ(with_type.Value(), Variant(std::int32_t{12}));

  TChannel2 value_only;
  value_only.Type = kTypeFloat8;
  value_only.UpdateFrom(&source, 0x0400);
  EXPECT_EQ(value_only.Value(), Variant(12.0));

  TChannel2 text;
  text.Type = kTypeString;
  text.SetValue("abc");
  TChannel2 integer;
  integer.Type = kTypeInt4;
  integer.SetValue(std::int32_t{5});
  integer.UpdateFrom(&text, 0x0400);  // does not convert: the old value stays
  EXPECT_EQ(integer.Value(), Variant(std::int32_t{5}));
}

TEST_F(Channel, MergingKeepsOwnAttributesReplacingDropsThem) {
  TChannel2 source;
  Put(source, 100, kTypeString, "кВт");
  Put(source, 101, kTypeString, "насос");
  for (const std::uint16_t mask : {0x0008, 0x0010}) {
    TChannel2 target;
    Put(target, 5000, kTypeString, "своё");
    Put(target, 100, kTypeString, "старое");
    target.UpdateFrom(&source, mask);
    EXPECT_EQ(target.Unit(), "кВт");
    EXPECT_EQ(target.Comments(), "насос");
    EXPECT_EQ(target.GetAttribute(5000) != nullptr, mask == 0x0008) << mask;
    EXPECT_EQ(target.AttributeCount(), mask == 0x0008 ? 3 : 2);
  }
}

TEST_F(Channel, CopyOntoItselfKeepsEverything) {
  TChannel2 c = FullSource();
  c.UpdateFrom(&c, 0xFFFF);
  EXPECT_TRUE(Differences(c, FullSource()).empty());
  EXPECT_EQ(c.Unit(), "м3");
}

TEST_F(Channel, PutAttributeAppendsOrOverwritesTheFirstOfItsId) {
  TChannel2 c;
  EXPECT_FALSE(c.PutAttribute(nullptr));
  TChannelAttribute a(101, kTypeString);
  a.SetValue("первый");
  a.Owner = 4;
  a.LastChange = 100;
  EXPECT_TRUE(c.PutAttribute(&a));
  a.SetValue("изменён после");  // the channel holds its own copy
  EXPECT_EQ(c.Comments(), "первый");

  TChannelAttribute b(101, kTypeInt4);
  b.SetValue(std::int32_t{7});
  b.Owner = 9;
  b.LastChange = 200;
  EXPECT_FALSE(c.PutAttribute(&b));
  ASSERT_EQ(c.AttributeCount(), 1);
  const TChannelAttribute& stored = *c.AttributeAt(0);
  EXPECT_EQ(stored.Type, kTypeInt4);
  EXPECT_EQ(stored.Value(), Variant(std::int32_t{7}));
  EXPECT_EQ(stored.Owner, 9);
  EXPECT_EQ(stored.LastChange, 200);
  EXPECT_EQ(c.AttributeAt(1), nullptr);

  EXPECT_TRUE(c.RemoveAttribute(101));
  EXPECT_FALSE(c.RemoveAttribute(101));
}

class AttributeProperties : public Channel {
 protected:
  void SetUp() override {
    Channel::SetUp();
    Describe(descriptions_, {{7, kTypeInt2},
                             {10, kArrayFlag | kTypeString},
                             {11, kTypeInt4},
                             {100, kTypeString},
                             {101, kTypeString},
                             {112, kTypeString},
                             {301, kTypeString},
                             {306, kTypeFloat8},
                             {314, kTypeBoolean},
                             {5002, kTypeString},
                             {5003, kTypeBoolean},
                             {5004, kTypeUInt2},
                             {5006, kArrayFlag | kTypeInt4},
                             {5009, kTypeUInt2}});
  }
  TAttributeDescriptionList descriptions_;
};

TEST_F(AttributeProperties, SettersStoreThroughDescribedAttributes) {
  TChannel2 c;
  c.Creator = 12;
  c.SetUnit(descriptions_, "кВт·ч");
  c.SetEUType(descriptions_, 3);
  c.SetEUInfo3(descriptions_, 40);
  c.SetMasked(descriptions_, true);
  c.SetDTYPE(descriptions_, 12);
  c.SetSignification(descriptions_, 6);
  c.SetDeadband(descriptions_, "0,5");  // stored converted to the described Float8
  c.SetAlarmMessage(descriptions_, u"Авария");
  c.SetWatchLimits(descriptions_, true);
  EXPECT_EQ(c.Unit(), "кВт·ч");
  EXPECT_EQ(c.EUType(), 3);
  EXPECT_EQ(c.EUInfo3(), 40);
  EXPECT_TRUE(c.Masked());
  EXPECT_EQ(c.DTYPE(), 12);
  EXPECT_EQ(c.SignificationText(), "Пожарный датчик");
  EXPECT_EQ(c.Deadband(), Variant(0.5));
  EXPECT_EQ(c.AlarmMessage(), u"Авария");
  EXPECT_TRUE(c.WatchLimits());
  const TChannelAttribute* unit = c.GetAttribute(100);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->Owner, 12);  // the channel's Creator
  EXPECT_GT(unit->LastChange, 0);

  // An existing attribute keeps its own type.
  Put(c, 5001, kTypeString, "x");
  c.SetEUType(descriptions_, 2);
  EXPECT_EQ(c.GetAttribute(7)->Value(), Variant(std::int16_t{2}));
}

TEST_F(AttributeProperties, UndescribedAttributesAreNotSet) {
  TChannel2 c;
  c.SetDescription(descriptions_, "описание");  // 5000 is not described
  c.SetSoundFile(descriptions_, u"alarm.wav");  // nor 205
  EXPECT_EQ(c.Description(), "");
  EXPECT_EQ(c.SoundFile(), u"");
  EXPECT_EQ(c.AttributeCount(), 0);
  TAttributeDescriptionList empty;
  c.SetUnit(empty, "м");
  EXPECT_EQ(c.Unit(), "");
}

TEST_F(AttributeProperties, AbsentAttributesReadAsNothing) {
  const TChannel2 c;
  EXPECT_EQ(c.EUType(), 0);
  EXPECT_EQ(c.EUInfo3(), 0);
  EXPECT_FALSE(c.Masked());
  EXPECT_EQ(c.DTYPE(), 0);
  EXPECT_EQ(c.SYSM(), 0);
  EXPECT_EQ(c.ConnectionQuality(), 0);
  EXPECT_EQ(c.SignificationText(), "Не определено");
  EXPECT_TRUE(c.HiLimit().IsEmpty());
  EXPECT_EQ(c.FullComments(), "");
}

TEST_F(AttributeProperties, GettersRaiseWhenTheValueDoesNotConvert) {
  TChannel2 c;
  Put(c, 7, kTypeString, "abc");
  EXPECT_THROW(c.EUType(), Exception);
  EXPECT_THROW(c.QualityText(), Exception);
  EXPECT_THROW(c.ValuesText(), Exception);
  // ValueTextAt turns the error into its text.
  EXPECT_FALSE(c.ValueTextAt(0).empty());
}

TEST_F(AttributeProperties, AlarmIdIsAnArrayOfThree) {
  TChannel2 c;
  c.SetAlarmID(descriptions_, 1, 55);
  EXPECT_EQ(c.AlarmID(0), 0);
  EXPECT_EQ(c.AlarmID(1), 55);
  EXPECT_EQ(c.AlarmID(3), 0);
  c.SetAlarmID(descriptions_, 3, 9);  // outside 0..2: nothing
  c.SetAlarmID(descriptions_, -1, 9);
  EXPECT_EQ(c.AttributeValue(5006), Array(kTypeInt4, {0, 55, 0}));

  // A shorter stored array grows to three instead of being written past its end.
  TChannel2 short_array;
  Put(short_array, 5006, kArrayFlag | kTypeInt4, Array(kTypeInt4, {7}));
  short_array.SetAlarmID(descriptions_, 2, 8);
  EXPECT_EQ(short_array.AttributeValue(5006), Array(kTypeInt4, {7, 0, 8}));
  EXPECT_EQ(short_array.AlarmID(2), 8);
}

TEST_F(AttributeProperties, FullCommentsAndFormatString) {
  struct Case {
    const char* prefix;
    const char* comments;
    const char* full;
  };
  for (const Case& t : {Case{"Котел", "температура", "Котел температура"},
                        Case{"Котел ", "температура", "Котел температура"},
                        Case{"", "температура", "температура"}, Case{"Котел", "", "Котел "}}) {
    TChannel2 c;
    c.SetPrefix(descriptions_, t.prefix);
    c.SetComments(descriptions_, t.comments);
    EXPECT_EQ(c.FullComments(), t.full);
  }
  TChannel2 c;
  c.Type = kTypeFloat4;
  EXPECT_EQ(c.FormatString(), "%.1f");
  c.SetFormatString(descriptions_, "%.3f");
  EXPECT_EQ(c.FormatString(), "%.3f");
  c.SetFormatString(descriptions_, "");
  EXPECT_EQ(c.FormatString(), "%.1f");
}

TEST_F(Channel, NumbersAndValueAccess) {
  TChannel2 c;
  c.Number = 4294967295u;
  EXPECT_EQ(c.NumberStr(), u"4294967295");
  c.Addr = "a.b";
  EXPECT_EQ(c.ID(), "a.b");
  EXPECT_TRUE(c.Valid());
  c.SetQuality(0x1FF);  // low 8 bits
  EXPECT_EQ(c.Quality(), 0xFF);

  c.Type = kArrayFlag | kTypeUInt1;
  c.SetValue(Array(kTypeUInt1, {std::uint8_t{4}, std::uint8_t{5}}));
  EXPECT_EQ(c.ValueCount(), 2);
  EXPECT_EQ(c.ValueAt(1), Variant(std::uint8_t{5}));
  EXPECT_TRUE(c.ValueAt(2).IsEmpty());
  EXPECT_TRUE(c.ValueAt(-1).IsEmpty());
  c.Type = kTypeInt2;
  c.SetValue(std::int16_t{3});
  EXPECT_EQ(c.ValueAt(7), Variant(std::int16_t{3}));
  EXPECT_EQ(c.TypeText(), "Int2");
}

}  // namespace
}  // namespace corvid
