// Protocol-2 command bodies: built bytes on the wire, reader round trips for every command, time
// encoding, reference form and data type, refusals with their texts, and reads that stay inside
// their own packet.
#include "link/p2commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channels/channelutils.h"
#include "channels/datatype.h"
#include "link/byteorder.h"
#include "link/codec_test_support.h"
#include "platform/clock.h"
#include "util/datetime.h"
#include "util/error.h"

namespace corvid {
namespace {

using testing::Bytes;
using testing::Contents;
using testing::ErrorOf;
using testing::Load;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kDouble0 = {0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kDouble1_5 = {0, 0, 0, 0, 0, 0, 0xF8, 0x3F};
const Bytes kFileTime0 = {0x00, 0xC0, 0x0C, 0xA9, 0xA9, 0x35, 0x4F, 0x01};  // 1899-12-30

Variant Array(std::uint16_t element, const std::vector<Variant>& items) {
  VariantArray array(element, items.size());
  for (std::size_t i = 0; i < items.size(); ++i) array.Set(i, items[i]);
  return array;
}

void Put(TChannel2& channel, std::uint16_t id, std::uint16_t type, const Variant& value,
         std::int16_t owner = 0, TDateTime last_change = 0) {
  TChannelAttribute attribute(id, type);
  attribute.SetValue(value);
  attribute.Owner = owner;
  attribute.LastChange = last_change;
  channel.PutAttribute(&attribute);
}

// "A1" No 7, Float4 1.0, active and writable, one text attribute, Groups 5.
TChannel2 SampleChannel() {
  TChannel2 channel;
  channel.Addr = "A1";
  channel.Number = 7;
  channel.Creator = 2;
  channel.Type = kTypeFloat4;
  channel.Active = true;
  channel.WriteEnable = true;
  channel.Owner = 0;
  channel.DT = 1.5;
  channel.SetQuality(0);
  channel.SetValue(1.0f);
  channel.Groups = 5;
  Put(channel, 100, kTypeString, "kW");
  return channel;
}

TChannel2 ValueChannel(std::uint32_t number, std::string addr, std::uint16_t type,
                       const Variant& value) {
  TChannel2 channel;
  channel.Number = number;
  channel.Addr = std::move(addr);
  channel.Type = type;
  channel.DT = 1.5;
  channel.SetQuality(1);
  channel.SetValue(value);
  channel.Owner = -1;
  return channel;
}

struct WireCase {
  const char* name;
  std::function<void(TCorvidCmdParser&)> build;
  Bytes expected;
};

TEST(P2Commands, BuiltCommandsOnTheWire) {
  TChannel2 local = ValueChannel(9, "X", kTypeInt2, std::int16_t{7});
  local.DT = 0;
  local.SetQuality(0);
  local.LocalNumber = true;
  TChannel2 known = local;
  known.LocalNumber = false;
  TChannel2 description;
  description.Addr = "A1";
  description.Creator = -1;
  TChannelAttribute limit(307, kTypeFloat8);
  limit.SetValue(2.0);
  limit.Owner = 3;

  const std::vector<WireCase> cases = {
      {"53 count", [](auto& p) { BuildChannelCount(p, 2); }, {0x35, 7, 0, 2, 0, 0, 0}},
      {"54 with state, TDateTime",
       [](auto& p) { BuildChannelWithState(p, SampleChannel(), TimeEncoding::kDateTime); },
       Cat({{0x36, 55, 0, 0x0D, 2, 0, 'A', '1', 7, 0, 0, 0, 2, 0, 4, 0, 1, 0},
            {100, 0, 0x00, 0x01, 2, 0, 'k', 'W', 0, 0},
            kDouble0,
            {0, 0},
            kDouble1_5,
            {0, 0, 0, 0x80, 0x3F, 5, 0, 0, 0}})},
      {"55 by number", [&](auto& p) { BuildControlCommand(p, known); },
       Cat({{0x37, 21, 0, 13, 9, 0, 0, 0}, kDouble0, {0, 2, 0, 7, 0}})},
      {"55 local number goes by address", [&](auto& p) { BuildControlCommand(p, local); },
       Cat({{0x37, 20, 0, 12, 1, 0, 'X'}, kDouble0, {0, 2, 0, 7, 0}})},
      {"57 by number",
       [](auto& p) {
         BuildChannelValue(p, ValueChannel(0x01020304, "", kTypeInt4, 258), 0x05, 57);
       },
       Cat({{0x39, 25, 0, 0x05, 4, 3, 2, 1}, kDouble1_5, {1, 3, 0, 2, 1, 0, 0, 0xFF, 0xFF}})},
      {"58 FILETIME",
       [&](auto& p) {
         BuildAttributeValue(p, 0x03, ChannelRef{5, ""}, limit);
       },
       Cat({{0x3A, 30, 0, 0x03, 5, 0, 0, 0, 0x33, 0x01, 5, 0},
            {0, 0, 0, 0, 0, 0, 0, 0x40},
            kFileTime0,
            {3, 0}})},
      {"59 without groups",
       [&](auto& p) { BuildChannelDescription(p, description, TimeEncoding::kNone, false); },
       {0x3B, 18, 0, 0, 2, 0, 'A', '1', 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0}},
      {"61",
       [](auto& p) {
         BuildChangeResult(p, 0x83, ChannelRef{5, ""}, 0);
       },
       {0x3D, 10, 0, 0x83, 5, 0, 0, 0, 0, 0}},
      {"63", [](auto& p) { BuildDocument(p, "attrdesc", 0, "<a/>"); },
       Cat({{0x3F, 20, 0, 8, 0},
            Bytes{'a', 't', 't', 'r', 'd', 'e', 's', 'c'},
            {0, 4, 0, '<', 'a', '/', '>'}})},
      {"66",
       [](auto& p) {
         BuildOperationResult(p, 0x80, ChannelRef{0, "ab"}, 4, 16);
       },
       {0x42, 13, 0, 0x80, 2, 0, 'a', 'b', 4, 16, 0, 0, 0}},
  };
  for (const WireCase& c : cases) {
    TCorvidCmdParser parser;
    parser.set_u8(0xEE);  // a builder that clears starts from an empty buffer
    c.build(parser);
    EXPECT_EQ(Contents(parser), c.expected) << c.name;
  }
}

TEST(P2Commands, ControlCommandNamesChannelsTheServerKnows) {
  TChannel2 channel = ValueChannel(0, "Дом.T1", kTypeInt4, 1);
  EXPECT_EQ(ControlCommandFlags(channel), 12);  // no number
  channel.Number = 4;
  EXPECT_EQ(ControlCommandFlags(channel), 13);
  channel.LocalNumber = true;  // given out by the channel list: the server does not know it
  EXPECT_EQ(ControlCommandFlags(channel), 12);

  // Even an explicit by-number request does not send a local number.
  TCorvidCmdParser parser;
  BuildChannelValue(parser, channel, 13, p2::kControl, true);
  const P2ChannelValue read = ReadControlCommand(parser);
  EXPECT_EQ(read.Flags, 12);
  EXPECT_EQ(read.Channel.Addr, "Дом.T1");
  EXPECT_EQ(read.Channel.Number, 0u);

  // Neither a number nor an address: refused, nothing left behind.
  channel.Addr.clear();
  EXPECT_EQ(ErrorOf([&] { BuildControlCommand(parser, channel); }), "неверный адрес канала");
  EXPECT_EQ(parser.Count(), 0);
}

TEST(P2Commands, BuilderFailuresLeaveNoPartialCommand) {
  TCorvidCmdParser parser;
  BuildChannelCount(parser, 1);
  const Bytes before = Contents(parser);
  // A text value that is no number fails inside the body: the appended command is dropped whole.
  TChannel2 bad = ValueChannel(3, "", kTypeInt4, 0);
  Put(bad, 9, kTypeInt4, 0);
  TChannel2 text = ValueChannel(3, "", kTypeString, "abc");
  text.Type = kTypeInt4;  // the stored text does not convert to Int4
  EXPECT_NE(ErrorOf([&] { BuildChannelValue(parser, text, 0x05, 57, false); }), "");
  EXPECT_EQ(Contents(parser), before);
  TCorvidCmdParser single;
  EXPECT_NE(ErrorOf([&] { BuildChannelValue(single, text, 0x05, 57, true); }), "");
  EXPECT_EQ(single.Count(), 0);

  EXPECT_EQ(ErrorOf([&] {
              BuildChannelValue(parser, ValueChannel(3, "", kTypeInt4, 1), 0x01, 57, false);
            }),
            "дата время не указано в команде 57");
  EXPECT_EQ(ErrorOf([&] { BuildChannelWithState(parser, bad, TimeEncoding::kNone, true, false); }),
            "дата время атрибута не указано в команде 54");
  EXPECT_EQ(Contents(parser), before);

  // Appending keeps what was there and frames only the new command.
  BuildChannelValue(parser, ValueChannel(3, "", kTypeInt4, 1), 0x05, 57, false);
  EXPECT_EQ(ReadChannelCount(parser), 1);
  EXPECT_EQ(ReadChannelValue(parser).Channel.Number, 3u);
  EXPECT_EQ(parser.Count(), 0);
}

void ExpectSameChannel(const TChannel2& read, const TChannel2& sent) {
  EXPECT_EQ(read.Addr, sent.Addr);
  EXPECT_EQ(read.Number, sent.Number);
  EXPECT_EQ(read.Creator, sent.Creator);
  EXPECT_EQ(read.Type, sent.Type);
  EXPECT_EQ(read.Active, sent.Active);
  EXPECT_EQ(read.WriteEnable, sent.WriteEnable);
  EXPECT_EQ(read.SaveValue, sent.SaveValue);
  ASSERT_EQ(read.AttributeCount(), sent.AttributeCount());
  for (std::size_t i = 0; i < sent.Attributes().size(); ++i) {
    const TChannelAttribute& a = read.Attributes()[i];
    const TChannelAttribute& b = sent.Attributes()[i];
    EXPECT_EQ(a.ID, b.ID);
    EXPECT_EQ(a.Type, b.Type);
    EXPECT_EQ(a.Value(), b.Value()) << "attribute " << b.ID;
    EXPECT_EQ(a.Owner, b.Owner);
    EXPECT_NEAR(a.LastChange, b.LastChange, 1e-9);
  }
}

TEST(P2Commands, ChannelWithStateInEveryTimeEncoding) {
  // 2015-09-21 12:34:56.789 is exact to the millisecond in all three encodings.
  const TDateTime when = EncodeDate(2015, 9, 21) + EncodeTime(12, 34, 56, 789);
  for (TimeEncoding encoding :
       {TimeEncoding::kFileTime, TimeEncoding::kDateTime, TimeEncoding::kIsoText}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    TChannel2 sent = SampleChannel();
    sent.SaveValue = true;
    sent.Active = false;
    sent.DT = when;
    sent.Owner = -3;
    sent.SetQuality(4);
    Put(sent, 307, kTypeFloat8, 99.5, 12, when - 1);
    Put(sent, 5006, kTypeInt4 | kArrayFlag, Array(kTypeInt4, {1, -2, 3}), -1, when);
    TCorvidCmdParser parser;
    BuildChannelWithState(parser, sent, encoding);
    const TChannel2 read = ReadChannelWithState(parser);
    EXPECT_EQ(parser.Count(), 0);
    ExpectSameChannel(read, sent);
    EXPECT_EQ(read.Owner, -3);
    EXPECT_NEAR(read.DT, when, 1e-9);
    EXPECT_EQ(read.Quality(), 4);
    EXPECT_EQ(read.Value(), sent.Value());
    EXPECT_EQ(read.Groups, 5u);

    BuildChannelDescription(parser, sent, encoding);
    const TChannel2 description = ReadChannelDescription(parser);
    EXPECT_EQ(parser.Count(), 0);
    ExpectSameChannel(description, sent);
    EXPECT_EQ(description.Groups, 5u);
    EXPECT_TRUE(description.Value().IsEmpty());
  }
}

TEST(P2Commands, TimeEncodingZeroIn54And59) {
  TCorvidCmdParser parser;
  TChannel2 channel = SampleChannel();
  // Built with a time, then the encoding bits cleared: the builder refuses encoding 0 here.
  BuildChannelDescription(parser, channel, TimeEncoding::kDateTime);
  Bytes bytes = Contents(parser);
  bytes[3] &= 0xF9;  // clear the encoding bits
  Load(parser, bytes);
  EXPECT_EQ(ErrorOf([&] { ReadChannelDescription(parser); }),
            "дата время атрибута не указано в команде 54_");
  EXPECT_EQ(parser.Count(), 0);

  // Without attributes a description needs no time; a channel with state still does.
  channel.ClearAttributes();
  BuildChannelDescription(parser, channel, TimeEncoding::kNone);
  EXPECT_EQ(ReadChannelDescription(parser).Addr, "A1");
  BuildChannelWithState(parser, channel, TimeEncoding::kDateTime);
  bytes = Contents(parser);
  bytes[3] &= 0xF9;
  Bytes no_time(bytes.begin(), bytes.begin() + 17);  // up to the channel Owner
  no_time.insert(no_time.end(), {0, 0, 0, 0, 0, 0x80, 0x3F});
  no_time[1] = static_cast<std::uint8_t>(no_time.size());
  Load(parser, no_time);
  EXPECT_EQ(ErrorOf([&] { ReadChannelWithState(parser); }),
            "дата время значения не указано в команде 54_");
  EXPECT_EQ(parser.Count(), 0);
}

TEST(P2Commands, GroupsReadOnlyFromThisPacket) {
  TCorvidCmdParser parser;
  BuildChannelWithState(parser, SampleChannel(), TimeEncoding::kFileTime, false);
  BuildChannelCount(parser, 0x01020304, false);  // 7 bytes behind: no Groups to take from them
  BuildChannelDescription(parser, SampleChannel(), TimeEncoding::kFileTime, false, false);
  BuildChannelCount(parser, 6, false);
  EXPECT_EQ(ReadChannelWithState(parser).Groups, 0u);
  EXPECT_EQ(ReadChannelCount(parser), 0x01020304);
  EXPECT_EQ(ReadChannelDescription(parser).Groups, 0u);
  EXPECT_EQ(ReadChannelCount(parser), 6);
  EXPECT_EQ(parser.Count(), 0);
}

struct TypedCase {
  std::uint16_t type;
  Variant value;
};

TEST(P2Commands, EveryDataTypeAsChannelValueAndAttribute) {
  const std::vector<TypedCase> cases = {
      {kTypeEmpty, Variant()},
      {kTypeInt2, std::int16_t{-300}},
      {kTypeInt4, -70000},
      {kTypeFloat4, 2.5f},
      {kTypeFloat8, -1e300},
      {kTypeDate, DateValue{42000.25}},
      {kTypeBoolean, true},
      {kTypeInt1, std::int8_t{-5}},
      {kTypeUInt1, std::uint8_t{250}},
      {kTypeUInt2, std::uint16_t{65000}},
      {kTypeUInt4, 4000000000u},
      {kTypeString, "Температура"},
      {kTypeString, ""},
      {kTypeInt4 | kArrayFlag, Array(kTypeInt4, {1, 2, 3})},
      {kTypeFloat8 | kArrayFlag, Array(kTypeFloat8, {0.5, -0.25})},
      {kTypeBoolean | kArrayFlag, Array(kTypeBoolean, {true, false})},
      {kTypeString | kArrayFlag, Array(kTypeString, {u"а", u"", u"xyz"})},
      {kTypeUInt1 | kArrayFlag, Array(kTypeUInt1, {})},
  };
  for (const TypedCase& c : cases) {
    SCOPED_TRACE(TypeName(c.type));
    const TChannel2 sent = ValueChannel(11, "", c.type, c.value);
    TCorvidCmdParser parser;
    BuildChannelValue(parser, sent, 0x05, p2::kChannelValue);
    const P2ChannelValue read = ReadChannelValue(parser);
    EXPECT_EQ(parser.Count(), 0);
    EXPECT_EQ(read.Channel.Type, c.type);
    EXPECT_EQ(read.Channel.Value(), sent.Value());

    TChannelAttribute attribute(1, c.type);
    attribute.SetValue(c.value);
    BuildAttributeValue(parser, 0x05, ChannelRef{11, ""}, attribute);
    const P2AttributeValue back = ReadAttributeValue(parser);
    EXPECT_EQ(back.Attribute.Value(), attribute.Value());
  }
}

TEST(P2Commands, ValueCommandsByNumberAndByAddress) {
  TCorvidCmdParser parser;
  const TChannel2 sent = ValueChannel(0, "Котельная.T", kTypeFloat8, 21.5);
  BuildChannelValue(parser, sent, 0x02 | 0x01, p2::kChannelValue);  // no number: by address
  P2ChannelValue read = ReadChannelValue(parser);
  EXPECT_EQ(read.Flags, 0x02);
  EXPECT_EQ(read.Channel.Addr, "Котельная.T");
  EXPECT_EQ(read.Channel.Number, 0u);
  EXPECT_EQ(read.Channel.Owner, -1);
  EXPECT_EQ(read.Channel.Quality(), 1);
  EXPECT_NEAR(read.Channel.DT, 1.5, 1e-9);

  BuildChannelValue(parser, ValueChannel(77, "ignored", kTypeFloat8, 1.0), 0x07, 57);
  read = ReadChannelValue(parser);
  EXPECT_EQ(read.Flags, 0x07);
  EXPECT_EQ(read.Channel.Number, 77u);
  EXPECT_EQ(read.Channel.Addr, "");
  EXPECT_NEAR(read.Channel.DT, 1.5, 1e-9);
}

TEST(P2Commands, NoTimeMeansTheLocalClockWhereAllowed) {
  platform::FakeClock clock(0, 133000000000000000ULL);
  platform::ScopedClock use(clock);
  const TDateTime now = NowLocal();
  TCorvidCmdParser parser;
  TChannel2 control = ValueChannel(5, "", kTypeInt4, 1);
  BuildChannelValue(parser, control, 0x01, p2::kControl);
  EXPECT_EQ(ReadControlCommand(parser).Channel.DT, now);

  TChannelAttribute attribute(100, kTypeString);
  attribute.SetValue("м");
  BuildAttributeValue(parser, 0x00, ChannelRef{0, "A"}, attribute);
  const P2AttributeValue read = ReadAttributeValue(parser);
  EXPECT_EQ(read.Attribute.LastChange, now);
  EXPECT_EQ(read.Channel.Address, "A");
  EXPECT_EQ(read.Channel.Number, 0u);
  EXPECT_EQ(read.Attribute.ID, 100);

  // 57 must carry a time: refused after its address was read.
  Load(parser, {0x39, 10, 0, 0x00, 2, 0, 'A', 'B', 0, 0, 0x35, 4, 0});
  EXPECT_EQ(ErrorOf([&] { ReadChannelValue(parser); }), "дата время не указано в команде 57_");
  EXPECT_EQ(Contents(parser), (Bytes{0x35, 4, 0}));  // exactly its own 10 bytes consumed
}

TEST(P2Commands, ResultsDocumentsAndRequests) {
  TCorvidCmdParser parser;
  BuildChangeResult(parser, 0x98, ChannelRef{0, "Щит"}, 301);
  const P2ChangeResult change = ReadChangeResult(parser);
  EXPECT_EQ(change.Flags, 0x98);
  EXPECT_EQ(change.Channel.Address, "Щит");
  EXPECT_EQ(change.AttributeID, 301);

  BuildOperationResult(parser, 0x81, ChannelRef{12, ""}, p2_action::kGroupsChanged, 0xA0B0C0D0);
  const P2OperationResult operation = ReadOperationResult(parser);
  EXPECT_EQ(operation.Flags, 0x81);
  EXPECT_EQ(operation.Channel.Number, 12u);
  EXPECT_EQ(operation.Action, 4);
  EXPECT_EQ(operation.Value, 0xA0B0C0D0u);

  const std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>\xE0</a>";
  BuildDocument(parser, "AttrDesc", 2, xml);
  const P2Document document = ReadDocument(parser);
  EXPECT_EQ(document.Name, "AttrDesc");
  EXPECT_EQ(document.Result, 2);
  EXPECT_EQ(document.Text, xml);  // the bytes as sent

  parser.BuildDocumentRequest("attrdesc");
  EXPECT_EQ(ReadDocumentRequest(parser), "attrdesc");
  parser.BuildChannelRequest(1);
  EXPECT_EQ(ReadChannelRequest(parser), 1);
  EXPECT_EQ(parser.Count(), 0);
}

TEST(P2Commands, BadReferencesAreRefused) {
  TCorvidCmdParser parser;
  Load(parser, {0x3D, 10, 0, 0x81, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ErrorOf([&] { ReadChangeResult(parser); }), "неверный номер канала");
  EXPECT_EQ(parser.Count(), 0);
  Load(parser, {0x42, 11, 0, 0x80, 0, 0, 1, 0, 0, 0, 0});
  EXPECT_EQ(ErrorOf([&] { ReadOperationResult(parser); }), "неверный адрес канала");
  Load(parser, {0x3A, 14, 0, 0x01, 0, 0, 0, 0, 1, 0, 2, 0, 5, 0});
  EXPECT_EQ(ErrorOf([&] { ReadAttributeValue(parser); }), "неверный номер канала");
}

TEST(P2Commands, ReaderOfAnotherCommandOrNoHeaderConsumesNothing) {
  TCorvidCmdParser parser;
  BuildChannelCount(parser, 3);
  EXPECT_EQ(ErrorOf([&] { ReadDocument(parser); }), "неверная команда 53, ожидается 63");
  EXPECT_EQ(parser.Count(), 7);
  Load(parser, {0x35, 7});
  EXPECT_EQ(ErrorOf([&] { ReadChannelCount(parser); }),
            "TCorvidCmdParser::get() нет данных [ожидаем 3 есть 2]");
  EXPECT_EQ(parser.Count(), 2);
}

TEST(P2Commands, FieldsAreCheckedAgainstThisPacketOnly) {
  TCorvidCmdParser parser;
  // 53 declaring 5 bytes: its count is short by 2 although a whole command follows.
  Load(parser, {0x35, 5, 0, 1, 2, 0x35, 7, 0, 9, 0, 0, 0});
  EXPECT_EQ(ErrorOf([&] { ReadChannelCount(parser); }),
            "TCorvidCmdParser::get() нет данных [ожидаем 4 есть 2]");
  EXPECT_EQ(ReadChannelCount(parser), 9);
  // A text promising 5 bytes where the packet holds 2.
  Load(parser, {0x3E, 7, 0, 5, 0, 'a', 'b', 0x35, 7, 0, 9, 0, 0, 0});
  EXPECT_EQ(ErrorOf([&] { ReadDocumentRequest(parser); }),
            "TCorvidCmdParser::get_STRING() нет данных [ожидаем 5 есть 2]");
  EXPECT_EQ(ReadChannelCount(parser), 9);
  // A length field below the header consumes the header; more than the reader takes is skipped.
  Load(parser, {0x35, 1, 0, 0x35, 9, 0, 8, 0, 0, 0, 0xAA, 0xBB});
  EXPECT_NE(ErrorOf([&] { ReadChannelCount(parser); }), "");
  EXPECT_EQ(ReadChannelCount(parser), 8);
  EXPECT_EQ(parser.Count(), 0);
  // A count of attributes far beyond the packet fails on the first missing field.
  Load(parser, {0x3B, 18, 0, 0x04, 1, 0, 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0});
  EXPECT_EQ(ErrorOf([&] { ReadChannelDescription(parser); }),
            "TCorvidCmdParser::get() нет данных [ожидаем 2 есть 1]");
  EXPECT_EQ(parser.Count(), 0);
}

// Every command cut short at every length: the reader raises, never reads the command behind,
// and consumes exactly the declared bytes.
TEST(P2Commands, EveryCommandCutShortAtEveryLength) {
  TChannel2 with_attributes = SampleChannel();
  Put(with_attributes, 5006, kTypeInt4 | kArrayFlag, Array(kTypeInt4, {1, 2}));
  TChannelAttribute attribute(307, kTypeString);
  attribute.SetValue("x");
  struct Case {
    const char* name;
    std::function<void(TCorvidCmdParser&)> build;
    std::function<void(TCorvidCmdParser&)> read;
  };
  const std::vector<Case> cases = {
      {"52", [](auto& p) { p.BuildChannelRequest(1); }, [](auto& p) { ReadChannelRequest(p); }},
      {"53", [](auto& p) { BuildChannelCount(p, 1); }, [](auto& p) { ReadChannelCount(p); }},
      {"54",
       [&](auto& p) { BuildChannelWithState(p, with_attributes, TimeEncoding::kIsoText, false); },
       [](auto& p) { ReadChannelWithState(p); }},
      {"55", [](auto& p) { BuildChannelValue(p, ValueChannel(1, "", 256, "ab"), 0x0D, 55); },
       [](auto& p) { ReadControlCommand(p); }},
      {"57", [](auto& p) { BuildChannelValue(p, ValueChannel(0, "a", 4099, 1), 0x02, 57); },
       [](auto& p) { ReadChannelValue(p); }},
      {"58",
       [&](auto& p) {
         BuildAttributeValue(p, 0x03, ChannelRef{2, ""}, attribute);
       },
       [](auto& p) { ReadAttributeValue(p); }},
      {"59",
       [&](auto& p) {
         BuildChannelDescription(p, with_attributes, TimeEncoding::kFileTime, false);
       },
       [](auto& p) { ReadChannelDescription(p); }},
      {"61",
       [](auto& p) {
         BuildChangeResult(p, 0x80, ChannelRef{0, "a"}, 1);
       },
       [](auto& p) { ReadChangeResult(p); }},
      {"62", [](auto& p) { p.BuildDocumentRequest("attrdesc"); },
       [](auto& p) { ReadDocumentRequest(p); }},
      {"63", [](auto& p) { BuildDocument(p, "n", 0, "<x/>"); }, [](auto& p) { ReadDocument(p); }},
      {"66",
       [](auto& p) {
         BuildOperationResult(p, 0x81, ChannelRef{3, ""}, 1, 0);
       },
       [](auto& p) { ReadOperationResult(p); }},
  };
  for (const Case& c : cases) {
    TCorvidCmdParser parser;
    c.build(parser);
    const Bytes whole = Contents(parser);
    for (std::size_t length = 3; length < whole.size(); ++length) {
      SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(length));
      Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      wire::PutU16(cut.data() + 1, static_cast<std::uint16_t>(length));
      cut.insert(cut.end(), {0x35, 7, 0, 42, 0, 0, 0});
      Load(parser, cut);
      EXPECT_NE(ErrorOf([&] { c.read(parser); }), "");
      EXPECT_EQ(ReadChannelCount(parser), 42);
    }
    Load(parser, whole);
    EXPECT_EQ(ErrorOf([&] { c.read(parser); }), "") << c.name;
    EXPECT_EQ(parser.Count(), 0) << c.name;
  }
}

}  // namespace
}  // namespace corvid
