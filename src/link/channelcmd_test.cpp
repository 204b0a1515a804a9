// TCorvidCmdParser: bytes on the wire of built commands, the field codec, reads on short input,
// the time encodings and the packet framing helpers.
#include "link/channelcmd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "link/codec_test_support.h"
#include "util/error.h"

namespace corvid {
namespace {

using testing::Bytes;
using testing::Contents;
using testing::ErrorOf;
using testing::Load;

TEST(CorvidCmdParser, ConstructedWithItsCapacityAndNoMaximum) {
  TCorvidCmdParser parser;
  EXPECT_EQ(parser.Capacity(), 40000);
  EXPECT_EQ(parser.Maximum(), 0);
}

TEST(CorvidCmdParser, BuiltCommandsOnTheWire) {
  TCorvidCmdParser parser;
  parser.BuildDocumentRequest("attrdesc");
  EXPECT_EQ(Contents(parser),
            (Bytes{0x3E, 0x0D, 0x00, 0x08, 0x00, 'a', 't', 't', 'r', 'd', 'e', 's', 'c'}));
  parser.BuildChannelRequest(1);  // clears what was built before
  EXPECT_EQ(Contents(parser), (Bytes{0x34, 0x04, 0x00, 0x01}));
}

TEST(CorvidCmdParser, SetPacketSizePatchesTheLastPacket) {
  TCorvidCmdParser parser;
  parser.set_u8(55);
  parser.set_u16(0);
  parser.set_u8(9);
  parser.SetPacketSize(0);
  EXPECT_EQ(Contents(parser), (Bytes{55, 0x04, 0x00, 9}));

  // A second command appended behind the first patches only its own header.
  parser.set_u8(62);
  parser.set_u16(0xFFFF);
  parser.set_STRING("ab");
  parser.SetPacketSize(7);
  EXPECT_EQ(Contents(parser), (Bytes{55, 0x04, 0x00, 9, 62, 0x07, 0x00, 0x02, 0x00, 'a', 'b'}));
}

TEST(CorvidCmdParser, SetPacketSizeRefusals) {
  TCorvidCmdParser parser;
  parser.set_u8(52);
  parser.set_u16(0);
  parser.set_u8(1);
  const Bytes before = Contents(parser);
  struct Case {
    std::int32_t n;
    std::string text;
  };
  const Case cases[] = {
      {70000, "TCorvidCmdParser::SetPacketSize() слишком большой объем данных: 70000"},
      {65536, "TCorvidCmdParser::SetPacketSize() слишком большой объем данных: 65536"},
      {5, "TCorvidCmdParser::SetPacketSize() ошибка установки размера: 5"},  // beyond the data
      // Too short for a header: n = 1 would otherwise land on the first two stored bytes.
      {1, "TCorvidCmdParser::SetPacketSize() ошибка установки размера: 1"},
      {2, "TCorvidCmdParser::SetPacketSize() ошибка установки размера: 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf([&] { parser.SetPacketSize(c.n); }), c.text) << c.n;
    EXPECT_EQ(Contents(parser), before) << c.n;
  }
  TCorvidCmdParser empty;
  EXPECT_EQ(ErrorOf([&] { empty.SetPacketSize(0); }),
            "TCorvidCmdParser::SetPacketSize() ошибка установки размера: 0");
}

TEST(CorvidCmdParser, ScalarsAreLittleEndian) {
  TCorvidCmdParser parser;
  parser.set_u8(0xAB);
  parser.set_u16(0x0102);
  parser.set_i16(-2);
  parser.set_u32(0x01020304);
  parser.set_i32(-3);
  parser.set_i64(0x0102030405060708LL);
  parser.set_double(1.5);  // 0x3FF8000000000000
  EXPECT_EQ(Contents(parser), (Bytes{0xAB, 0x02, 0x01, 0xFE, 0xFF, 0x04, 0x03, 0x02, 0x01, 0xFD,
                                     0xFF, 0xFF, 0xFF, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02,
                                     0x01, 0,    0,    0,    0,    0,    0,    0xF8, 0x3F}));
  EXPECT_EQ(parser.get_u8(), 0xAB);
  EXPECT_EQ(parser.get_u16(), 0x0102);
  EXPECT_EQ(parser.get_i16(), -2);
  EXPECT_EQ(parser.get_u32(), 0x01020304u);
  EXPECT_EQ(parser.get_i32(), -3);
  EXPECT_EQ(parser.get_i64(), 0x0102030405060708LL);
  EXPECT_EQ(parser.get_double(), 1.5);
  EXPECT_EQ(parser.Count(), 0);
}

TEST(CorvidCmdParser, ShortScalarReadConsumesNothing) {
  TCorvidCmdParser parser;
  Load(parser, {1, 2, 3});
  struct Case {
    std::function<void()> read;
    std::string text;
  };
  const Case cases[] = {
      {[&] { parser.get_u32(); }, "TCorvidCmdParser::get() нет данных [ожидаем 4 есть 3]"},
      {[&] { parser.get_i32(); }, "TCorvidCmdParser::get() нет данных [ожидаем 4 есть 3]"},
      {[&] { parser.get_i64(); }, "TCorvidCmdParser::get() нет данных [ожидаем 8 есть 3]"},
      {[&] { parser.get_double(); }, "TCorvidCmdParser::get() нет данных [ожидаем 8 есть 3]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(c.read), c.text);
    EXPECT_EQ(Contents(parser), (Bytes{1, 2, 3}));
  }
  // Fields read before a failing one stay consumed.
  EXPECT_EQ(parser.get_u16(), 0x0201);
  EXPECT_EQ(ErrorOf([&] { parser.get_u16(); }),
            "TCorvidCmdParser::get() нет данных [ожидаем 2 есть 1]");
  EXPECT_EQ(Contents(parser), (Bytes{3}));
  parser.Clear();
  EXPECT_EQ(ErrorOf([&] { parser.get_u8(); }),
            "TCorvidCmdParser::get() нет данных [ожидаем 1 есть 0]");
}

TEST(CorvidCmdParser, TextReadingRules) {
  struct Case {
    Bytes wire;
    std::string text;
  };
  const Case cases[] = {
      {{3, 0, 'A', 'B', 0}, "AB"},                    // a trailing NUL is dropped
      {{3, 0, 'A', 0, 'B'}, std::string("A\0B", 3)},  // NULs inside are kept
      {{2, 0, 0, 0}, std::string(1, '\0')},           // only the last one goes
      {{0, 0}, ""},                                   // empty
      {{4, 0, 0xCF, 0xF0, 0xE8, 0xE2}, "Прив"},       // windows-1251 -> UTF-8
  };
  TCorvidCmdParser parser;
  for (const Case& c : cases) {
    Load(parser, c.wire);
    EXPECT_EQ(parser.get_STRING(), c.text);
    EXPECT_EQ(parser.Count(), 0);
  }
  Load(parser, {2, 0, 0xCF, 0xF0, 7});
  EXPECT_EQ(parser.get_STRING1251(), "\xCF\xF0");  // the bytes as they are
  EXPECT_EQ(Contents(parser), (Bytes{7}));
}

TEST(CorvidCmdParser, ShortTextKeepsItsBytes) {
  TCorvidCmdParser parser;
  Load(parser, {5, 0, 'A', 'B'});
  EXPECT_EQ(ErrorOf([&] { parser.get_STRING(); }),
            "TCorvidCmdParser::get_STRING() нет данных [ожидаем 5 есть 2]");
  EXPECT_EQ(Contents(parser), (Bytes{'A', 'B'}));  // the length field was consumed
  Load(parser, {5});
  EXPECT_EQ(ErrorOf([&] { parser.get_STRING(); }),
            "TCorvidCmdParser::get() нет данных [ожидаем 2 есть 1]");
  EXPECT_EQ(Contents(parser), (Bytes{5}));
}

TEST(CorvidCmdParser, TextWriting) {
  TCorvidCmdParser parser;
  parser.set_STRING("");  // its zero length alone, and no error
  parser.set_STRING("Ок");
  parser.set_STRING1251(std::string("\x00\xFF", 2));
  EXPECT_EQ(Contents(parser), (Bytes{0, 0, 2, 0, 0xCE, 0xEA, 2, 0, 0x00, 0xFF}));

  parser.Clear();
  const std::string huge(65536, 'x');
  EXPECT_EQ(ErrorOf([&] { parser.set_STRING(huge); }),
            "TCorvidCmdParser::set_STRING() слишком длинный текст: 65536");
  EXPECT_EQ(parser.Count(), 0);
}

TEST(CorvidCmdParser, TypedValues) {
  TCorvidCmdParser parser;
  parser.set_VALUE(Variant(std::int32_t{-2}), kTypeInt4);
  parser.set_VALUE(Variant("Да"), kTypeString);
  parser.set_VALUE(Variant(), kTypeEmpty);
  parser.set_u8(0x77);  // a field behind the values
  EXPECT_EQ(Contents(parser), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 2, 0, 0xC4, 0xE0, 0x77}));
  EXPECT_EQ(parser.get_VALUE(kTypeInt4), Variant(std::int32_t{-2}));
  EXPECT_EQ(parser.get_VALUE(kTypeString), Variant("Да"));
  EXPECT_EQ(parser.get_VALUE(kTypeEmpty), Variant());
  EXPECT_EQ(parser.get_u8(), 0x77);  // each value took exactly its own bytes

  // A value cut short raises and consumes nothing.
  Load(parser, {0x01, 0x02});
  EXPECT_THROW(parser.get_VALUE(kTypeFloat8), Exception);
  EXPECT_EQ(parser.Count(), 2);
  parser.Clear();
  EXPECT_THROW(parser.get_VALUE(kTypeInt2), Exception);
  EXPECT_EQ(parser.get_VALUE(kTypeEmpty), Variant());
}

TEST(CorvidCmdParser, IsoTime) {
  TCorvidCmdParser parser;
  const TDateTime t = EncodeDate(2015, 9, 21) + EncodeTime(12, 34, 56, 789);
  parser.set_ISOTIME(t);
  const std::string text = "20150921T123456.7890";
  Bytes expected{20, 0};
  expected.insert(expected.end(), text.begin(), text.end());
  EXPECT_EQ(Contents(parser), expected);
  EXPECT_NEAR(parser.get_ISOTIME(), t, 0.5 / kMsPerDay);
  Load(parser, {3, 0, '2', '0', '1'});
  EXPECT_THROW(parser.get_ISOTIME(), Exception);
}

TEST(WireTime, FileTimeConstants) {
  EXPECT_EQ(WireFileTimeToDateTime(94353120000000000), 0.0);
  EXPECT_EQ(DateTimeToWireFileTime(0.0), 94353120000000000);
  EXPECT_EQ(DateTimeToWireFileTime(1.5), 94353120000000000 + 1296000000000);
  EXPECT_EQ(WireFileTimeToDateTime(94353120000000000 + 1296000000000), 1.5);
  EXPECT_EQ(WireFileTimeToDateTime(0), -109205.0);  // 1601-01-01
  EXPECT_EQ(DateTimeToWireFileTime(-109205.0), 0);
  // The sum is truncated toward zero: 0.864 ticks after the epoch of 1899 drop to 0, 0.864
  // ticks before it drop to -1.
  EXPECT_EQ(DateTimeToWireFileTime(1e-12), 94353120000000000);
  EXPECT_EQ(DateTimeToWireFileTime(-1e-12), 94353120000000000 - 1);
  EXPECT_EQ(DateTimeToWireFileTime(-0.25), 94353120000000000 - 216000000000);
  // Far values convert without overflow.
  EXPECT_TRUE(std::isfinite(WireFileTimeToDateTime(std::numeric_limits<std::int64_t>::min())));
  EXPECT_TRUE(std::isfinite(WireFileTimeToDateTime(std::numeric_limits<std::int64_t>::max())));
  EXPECT_EQ(DateTimeToWireFileTime(std::nan("")), 0);
  EXPECT_EQ(DateTimeToWireFileTime(1e300), 0);
  EXPECT_EQ(DateTimeToWireFileTime(-1e300), 0);
}

TEST(CorvidCmdParser, TimeEncodings) {
  const TDateTime t = EncodeDate(2020, 2, 29) + EncodeTime(23, 59, 58, 125);
  struct Case {
    std::uint8_t flags;
    std::int32_t bytes;
  };
  const Case cases[] = {{0x00, 0}, {0x02, 8}, {0x04, 8}, {0x06, 22}, {0x07, 22}};
  for (const Case& c : cases) {
    TCorvidCmdParser parser;
    const TimeEncoding encoding = TimeEncodingOf(c.flags);
    parser.set_TIME(t, encoding);
    EXPECT_EQ(parser.Count(), c.bytes) << int{c.flags};
    const auto back = parser.get_TIME(encoding);
    if (encoding == TimeEncoding::kNone) {
      EXPECT_FALSE(back.has_value());
    } else {
      ASSERT_TRUE(back.has_value());
      EXPECT_NEAR(*back, t, 0.5 / kMsPerDay) << int{c.flags};
    }
    EXPECT_EQ(parser.Count(), 0);
  }
  EXPECT_EQ(TimeEncodingFlags(TimeEncoding::kIsoText), 0x06);
  // FILETIME on the wire.
  TCorvidCmdParser parser;
  parser.set_TIME(0.0, TimeEncoding::kFileTime);
  EXPECT_EQ(Contents(parser), (Bytes{0x00, 0xC0, 0x0C, 0xA9, 0xA9, 0x35, 0x4F, 0x01}));
}

TEST(CorvidCmdParser, ChannelReferences) {
  TCorvidCmdParser parser;
  parser.set_CHANNELREF(0x01, {0x0A0B0C0D, "ignored"});
  parser.set_CHANNELREF(0x0C, {7, "Дом.T1"});
  EXPECT_EQ(Contents(parser),
            (Bytes{0x0D, 0x0C, 0x0B, 0x0A, 6, 0, 0xC4, 0xEE, 0xEC, '.', 'T', '1'}));
  EXPECT_EQ(parser.get_CHANNELREF(0x01).Number, 0x0A0B0C0Du);
  const ChannelRef by_address = parser.get_CHANNELREF(0x0C);
  EXPECT_EQ(by_address.Address, "Дом.T1");
  EXPECT_EQ(by_address.Number, 0u);

  Load(parser, {0, 0, 0, 0, 9});
  EXPECT_EQ(ErrorOf([&] { parser.get_CHANNELREF(0x81); }), "неверный номер канала");
  EXPECT_EQ(Contents(parser), (Bytes{9}));
  Load(parser, {0, 0, 9});
  EXPECT_EQ(ErrorOf([&] { parser.get_CHANNELREF(0x00); }), "неверный адрес канала");
  EXPECT_EQ(Contents(parser), (Bytes{9}));
}

TEST(CorvidCmdParser, PacketFraming) {
  TCorvidCmdParser parser;
  Load(parser, {57, 5});
  EXPECT_FALSE(parser.PacketLength().has_value());
  EXPECT_FALSE(parser.PacketComplete());
  EXPECT_FALSE(parser.SkipPacket());
  EXPECT_EQ(parser.Count(), 2);

  Load(parser, {57, 5, 0, 1});
  EXPECT_EQ(parser.PacketLength(), std::optional<std::uint16_t>(5));
  EXPECT_FALSE(parser.PacketComplete());
  const Bytes two{57, 5, 0, 1, 2, 53, 7, 0, 1, 0, 0, 0};
  Load(parser, two);
  EXPECT_TRUE(parser.PacketComplete());
  EXPECT_TRUE(parser.SkipPacket());
  EXPECT_EQ(parser.PeekId(), std::optional<std::uint8_t>(53));
  EXPECT_EQ(parser.Count(), 7);

  // A length field below the header still moves past the header.
  Load(parser, {60, 0, 0, 60, 3, 0});
  EXPECT_TRUE(parser.SkipPacket());
  EXPECT_EQ(Contents(parser), (Bytes{60, 3, 0}));
  parser.Clear();
  EXPECT_FALSE(parser.PeekId().has_value());
}

TEST(Framing, StructSizesAndProtocol2) {
  struct Case {
    std::uint8_t id;
    std::int32_t size;
  };
  const Case cases[] = {{0, 0},    {1, 72},   {3, 1},   {7, 53}, {9, 57},  {10, 60},  {17, 88},
                        {20, 41},  {22, 15},  {23, 0},  {24, 1}, {26, 0},  {30, 0},   {31, 19},
                        {33, 49},  {34, 106}, {35, 43}, {36, 0}, {40, 20}, {41, 317}, {42, 72},
                        {43, 25},  {44, 5},   {45, 0},  {51, 0}, {57, 0},  {66, 0},   {99, 0},
                        {100, 13}, {101, 0},  {255, 0}};
  for (const Case& c : cases) EXPECT_EQ(StructSize(c.id), c.size) << int{c.id};
  int sized = 0;
  for (int id = 0; id < 256; ++id) {
    if (StructSize(static_cast<std::uint8_t>(id)) != 0) {
      ++sized;
      EXPECT_FALSE(IsProtocol2(static_cast<std::uint8_t>(id))) << id;
    }
  }
  EXPECT_EQ(sized, 35);
  EXPECT_FALSE(IsProtocol2(50));
  EXPECT_TRUE(IsProtocol2(51));
  EXPECT_TRUE(IsProtocol2(66));
  EXPECT_FALSE(IsProtocol2(67));
}

}  // namespace
}  // namespace corvid
