#include "channels/channelutils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/locale.h"
#include "util/datetime.h"
#include "util/error.h"

namespace corvid {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A heap block of exactly `size` bytes (never null, even for 0), so that AddressSanitizer reports
// any access beyond it.
struct Exact {
  explicit Exact(std::size_t n) : size(static_cast<int>(n)), data(new std::uint8_t[n]) {
    std::memset(data.get(), 0xCC, n);
  }
  explicit Exact(const Bytes& bytes) : Exact(bytes.size()) {
    if (!bytes.empty()) std::memcpy(data.get(), bytes.data(), bytes.size());
  }
  Bytes Head(int n) const { return Bytes(data.get(), data.get() + n); }
  int size;
  std::unique_ptr<std::uint8_t[]> data;
};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

Variant Array(std::uint16_t element, std::vector<Variant> items) {
  VariantArray array(element, items.size());
  for (std::size_t i = 0; i < items.size(); ++i) array.Set(i, items[i]);
  return array;
}

struct CodecCase {
  const char* name;
  Variant value;
  std::uint16_t code;
  Bytes bytes;      // without the type word
  Variant decoded;  // what BinaryToVariant2 gives back
};

std::vector<CodecCase> CodecCases() {
  return {
      {"Empty", Variant(), kTypeEmpty, {}, Variant()},
      {"Int1", std::int8_t{-2}, kTypeInt1, {0xFE}, std::int8_t{-2}},
      {"UInt1", std::uint8_t{200}, kTypeUInt1, {0xC8}, std::uint8_t{200}},
      {"Int2", std::int16_t{-2}, kTypeInt2, {0xFE, 0xFF}, std::int16_t{-2}},
      {"UInt2", std::uint16_t{0xABCD}, kTypeUInt2, {0xCD, 0xAB}, std::uint16_t{0xABCD}},
      {"Int4", 1, kTypeInt4, {0x01, 0, 0, 0}, 1},
      {"Int4Min", -2147483647 - 1, kTypeInt4, {0, 0, 0, 0x80}, -2147483647 - 1},
      {"UInt4", 0xDEADBEEFu, kTypeUInt4, {0xEF, 0xBE, 0xAD, 0xDE}, 0xDEADBEEFu},
      {"Float4", 1.5f, kTypeFloat4, {0, 0, 0xC0, 0x3F}, 1.5f},
      {"Float8", 1.5, kTypeFloat8, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, 1.5},
      {"DateZero", DateValue{0}, kTypeDate, Bytes(8, 0), DateValue{0}},
      {"Date", DateValue{1.25}, kTypeDate, {0, 0, 0, 0, 0, 0, 0xF4, 0x3F}, DateValue{1.25}},
      // A Boolean comes back as the word read; the receiver converts it.
      {"BooleanTrue", true, kTypeBoolean, {0xFF, 0xFF}, std::uint16_t{0xFFFF}},
      {"BooleanFalse", false, kTypeBoolean, {0, 0}, std::uint16_t{0}},
      {"String", "abc", kTypeString, {3, 0, 'a', 'b', 'c'}, "abc"},
      {"EmptyString", "", kTypeString, {0, 0}, ""},
      {"Cyrillic16", u"Привет", kTypeString, {6, 0, 0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}, "Привет"},
      {"Cyrillic8", "Ёж №1", kTypeString, {5, 0, 0xA8, 0xE6, 0x20, 0xB9, 0x31}, "Ёж №1"},
      {"ArrayInt2",
       Array(kTypeInt2, {std::int16_t{1}, std::int16_t{-1}}),
       kArrayFlag | kTypeInt2,
       {2, 0, 1, 0, 0xFF, 0xFF},
       Array(kTypeInt2, {std::int16_t{1}, std::int16_t{-1}})},
      {"EmptyArray",
       VariantArray(kTypeInt2, 0),
       kArrayFlag | kTypeInt2,
       {0, 0},
       VariantArray(kTypeInt2, 0)},
      {"ArrayString",
       Array(kTypeString, {u"a", u"Я", u""}),
       kArrayFlag | kTypeString,
       {3, 0, 1, 0, 'a', 1, 0, 0xDF, 0, 0},
       Array(kTypeString, {u"a", u"Я", u""})},
      {"ArrayBoolean",
       Array(kTypeBoolean, {true, false}),
       kArrayFlag | kTypeBoolean,
       {2, 0, 0xFF, 0xFF, 0, 0},
       Array(kTypeBoolean, {true, false})},
      {"ArrayFloat8",
       Array(kTypeFloat8, {2.0}),
       kArrayFlag | kTypeFloat8,
       {1, 0, 0, 0, 0, 0, 0, 0, 0, 0x40},
       Array(kTypeFloat8, {2.0})},
  };
}

TEST(ValueCodec, EncodesEveryTypeIntoAnExactlySizedBuffer) {
  for (const CodecCase& c : CodecCases()) {
    SCOPED_TRACE(c.name);
    Exact out(c.bytes.size());
    int written = -1;
    VariantToBinary2(c.value, c.code, out.data.get(), out.size, written, false);
    EXPECT_EQ(written, out.size);
    EXPECT_EQ(out.Head(written), c.bytes);
  }
}

TEST(ValueCodec, WritesTheTypeWordFirstWhenAsked) {
  for (const CodecCase& c : CodecCases()) {
    SCOPED_TRACE(c.name);
    Bytes expected(c.bytes.size() + 2);
    expected[0] = static_cast<std::uint8_t>(c.code);
    expected[1] = static_cast<std::uint8_t>(c.code >> 8);
    std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + 2);
    Exact out(expected.size());
    int written = -1;
    VariantToBinary2(c.value, c.code, out.data.get(), out.size, written, true);
    EXPECT_EQ(out.Head(written), expected);

    Variant value;
    int consumed = -1;
    BinaryToVariant2(value, 0xFFFF, out.data.get(), out.size, consumed, true);
    EXPECT_EQ(consumed, out.size);
    EXPECT_EQ(value, c.decoded);
  }
}

TEST(ValueCodec, DecodesEveryTypeFromAnExactlySizedBuffer) {
  for (const CodecCase& c : CodecCases()) {
    SCOPED_TRACE(c.name);
    Exact in(c.bytes);
    Variant value = 12345;
    int consumed = -1;
    BinaryToVariant2(value, c.code, in.data.get(), in.size, consumed, false);
    EXPECT_EQ(consumed, in.size);
    EXPECT_EQ(value, c.decoded);
    EXPECT_EQ(TypeCodeOf(value), TypeCodeOf(c.decoded));
  }
}

TEST(ValueCodec, ShortBuffersFailWithoutTouchingAByteBeyondThem) {
  for (const CodecCase& c : CodecCases()) {
    SCOPED_TRACE(c.name);
    for (std::size_t n = 0; n < c.bytes.size(); ++n) {
      SCOPED_TRACE(n);
      Exact out(n);
      int written = -1;
      EXPECT_EQ(ErrorOf([&] {
                  VariantToBinary2(c.value, c.code, out.data.get(), out.size, written, false);
                }),
                "VariantToBinary: недостаточный размер буфера");
      EXPECT_EQ(written, -1);

      Exact in(Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(n)));
      Variant value = 7;
      int consumed = -1;
      const std::string error = ErrorOf(
          [&] { BinaryToVariant2(value, c.code, in.data.get(), in.size, consumed, false); });
      EXPECT_TRUE(error == "BinaryToVariant: недостаточно данных" ||
                  error == "BinaryToVariant2: недостаточно данных")
          << error;
      EXPECT_EQ(value, Variant(7));  // nothing half-read is published
      EXPECT_EQ(consumed, -1);
    }
  }
}

TEST(ValueCodec, DecodesOnlyWhatItNeedsFromALongerBuffer) {
  Exact in(Bytes{3, 0, 'a', 'b', 'c', 0x99, 0x99});
  Variant value;
  int consumed = 0;
  BinaryToVariant2(value, kTypeString, in.data.get(), in.size, consumed, false);
  EXPECT_EQ(consumed, 5);
  EXPECT_EQ(value, Variant("abc"));
}

TEST(ValueCodec, ConvertsToTheDeclaredTypeBeforeEncoding) {
  struct Case {
    Variant value;
    std::uint16_t code;
    Bytes bytes;
  } cases[] = {
      {5, kTypeFloat8, {0, 0, 0, 0, 0, 0, 0x14, 0x40}},
      {2.5, kTypeInt2, {2, 0}},  // half to even
      {3.5, kTypeInt2, {4, 0}},
      {std::uint16_t{1}, kTypeBoolean, {0xFF, 0xFF}},
      {42, kTypeString, {2, 0, '4', '2'}},
      {u"-7", kTypeInt1, {0xF9}},
      // A scalar for an array type becomes a one-element array holding it.
      {7, kArrayFlag | kTypeInt4, {1, 0, 7, 0, 0, 0}},
      {Array(kTypeInt4, {1, 0}), kArrayFlag | kTypeBoolean, {2, 0, 0xFF, 0xFF, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(TypeName(c.code));
    Exact out(c.bytes.size());
    int written = 0;
    const Variant before = c.value;
    VariantToBinary2(c.value, c.code, out.data.get(), out.size, written, false);
    EXPECT_EQ(out.Head(written), c.bytes);
    EXPECT_EQ(c.value, before);
  }
}

TEST(ValueCodec, BooleanWordReadBackIsTrueForAnyNonzeroWord) {
  Exact in(Bytes{0x01, 0x00});
  Variant value;
  int consumed = 0;
  BinaryToVariant2(value, kTypeBoolean, in.data.get(), in.size, consumed, false);
  EXPECT_EQ(value, Variant(std::uint16_t{1}));
  ConvertToType(value, kTypeBoolean);
  EXPECT_EQ(value, Variant(true));
}

TEST(ValueCodec, EncoderErrors) {
  std::uint8_t buf[64] = {};
  int written = -1;
  const auto encode2 = [&](const Variant& v, std::uint16_t code, std::uint8_t* b, int size,
                           bool with_type) {
    return ErrorOf([&] { VariantToBinary2(v, code, b, size, written, with_type); });
  };
  EXPECT_EQ(encode2(1, kTypeInt4, nullptr, 4, false), "VariantToBinary2: буфер пуст");
  EXPECT_EQ(encode2(1, kTypeInt4, buf, 1, true), "VariantToBinary2: буфер не задан");
  EXPECT_EQ(encode2(1, 6, buf, 64, false), "VariantToBinary: неверный тип данных (6)");
  EXPECT_EQ(encode2(1, 8, buf, 64, false), "VariantToBinary: неверный тип данных (8)");
  EXPECT_EQ(encode2(Array(kTypeFloat8, {1.5}), kTypeFloat4, buf, 64, false),
            "ConvertToType: присвоение массива Float8 простому типу данных Float4");
  EXPECT_EQ(encode2(Array(kTypeInt2, {std::int16_t{1}}), kArrayFlag | kTypeInt2, buf, 1, false),
            "VariantToBinary: недостаточный размер буфера");
  EXPECT_EQ(encode2("x", kTypeInt4, buf, 64, false),
            "ConvertToType: текст \"x\" не является значением типа Int4");
  EXPECT_EQ(written, -1);
  EXPECT_EQ(ErrorOf([&] { VariantToBinary(1, nullptr, 4, written); }),
            "VariantToBinary: неверный параметр");
  EXPECT_EQ(ErrorOf([&] { VariantToBinary(1, buf, -1, written); }),
            "VariantToBinary: неверный параметр");
}

TEST(ValueCodec, RefusesCountsThatDoNotFitTheirSixteenBits) {
  const int size = 70000 * 4 + 16;
  Exact out(static_cast<std::size_t>(size));
  int written = -1;
  EXPECT_EQ(ErrorOf([&] {
              VariantToBinary2(VariantArray(kTypeInt4, 65536), kArrayFlag | kTypeInt4,
                               out.data.get(), size, written, false);
            }),
            "VariantToBinary2: слишком много элементов массива (65536)");
  EXPECT_EQ(ErrorOf([&] {
              VariantToBinary2(std::string(65536, 'a'), kTypeString, out.data.get(), size, written,
                               false);
            }),
            "VariantToBinary: слишком длинный текст (65536 байт)");
  EXPECT_EQ(ErrorOf([&] {
              VariantToBinary2(std::u16string(65536, u'я'), kTypeString, out.data.get(), size,
                               written, false);
            }),
            "VariantToBinary: слишком длинный текст (65536 байт)");
  EXPECT_EQ(written, -1);
  VariantToBinary2(std::string(65535, 'a'), kTypeString, out.data.get(), size, written, false);
  EXPECT_EQ(written, 65537);
}

TEST(ValueCodec, DecoderErrors) {
  int consumed = -1;
  Variant value;
  const auto decode2 = [&](const Bytes& bytes, std::uint16_t code, bool with_type) {
    Exact in(bytes);
    return ErrorOf(
        [&] { BinaryToVariant2(value, code, in.data.get(), in.size, consumed, with_type); });
  };
  // A text count of 10 with 5 bytes after it.
  EXPECT_EQ(decode2({10, 0, 1, 2, 3, 4, 5}, kTypeString, false),
            "BinaryToVariant: недостаточно данных");
  EXPECT_EQ(decode2({1, 2, 3, 4}, 8, false), "BinaryToVariant: неверный тип данных (8)");
  EXPECT_EQ(decode2({0, 0}, kArrayFlag | 8, false), "BinaryToVariant: неверный тип данных (8)");
  EXPECT_EQ(decode2({0, 0}, kArrayFlag | kTypeEmpty, false),
            "BinaryToVariant: неверный тип данных (0)");
  EXPECT_EQ(decode2({1}, kArrayFlag | kTypeInt2, false), "BinaryToVariant2: недостаточно данных");
  // The count promises more than the bytes that remain: refused before anything is allocated.
  EXPECT_EQ(decode2({0xFF, 0xFF, 1, 0, 0, 0}, kArrayFlag | kTypeInt4, false),
            "BinaryToVariant2: недостаточно данных");
  EXPECT_EQ(decode2({0xFF, 0xFF, 0, 0}, kArrayFlag | kTypeString, false),
            "BinaryToVariant2: недостаточно данных");
  // Enough for the smallest form of each element, not for their texts.
  EXPECT_EQ(decode2({2, 0, 1, 0, 'a', 5, 0, 'b'}, kArrayFlag | kTypeString, false),
            "BinaryToVariant: недостаточно данных");
  EXPECT_EQ(decode2({3}, 0, true), "BinaryToVariant2: буфер не задан");
  EXPECT_EQ(decode2({3, 0, 1, 0}, 0, true), "BinaryToVariant: недостаточно данных");
  EXPECT_EQ(ErrorOf([&] { BinaryToVariant2(value, kTypeInt4, nullptr, 4, consumed, false); }),
            "BinaryToVariant2: буфер пуст");
  EXPECT_EQ(consumed, -1);

  const std::uint8_t four[4] = {};
  EXPECT_EQ(ErrorOf([&] { BinaryToVariant(value, kTypeInt4, four, -1, consumed); }),
            "BinaryToVariant: неверный параметр");
  EXPECT_EQ(ErrorOf([&] { BinaryToVariant(value, kTypeInt4, nullptr, 4, consumed); }),
            "BinaryToVariant: буфер пуст");
  EXPECT_EQ(ErrorOf([&] { BinaryToVariant(value, kArrayFlag | kTypeInt4, four, 4, consumed); }),
            "BinaryToVariant: массив недопустим");
}

TEST(ValueCodec, TypeZeroConsumesNothingAndGivesAnEmptyValue) {
  Variant value;
  int consumed = -1;
  BinaryToVariant2(value, kTypeEmpty, nullptr, 0, consumed, false);
  EXPECT_EQ(consumed, 0);
  EXPECT_TRUE(value.IsEmpty());
}

TEST(ValueCodec, DateZeroIsTheEpochOfTheDateType) {
  Exact out(8);
  int written = 0;
  VariantToBinary2(DateValue{EncodeDate(1899, 12, 30)}, kTypeDate, out.data.get(), 8, written,
                   false);
  EXPECT_EQ(out.Head(8), Bytes(8, 0));
}

TEST(TypeName, NamesElementTypesArraysAndUnknownCodes) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0, "Empty"},
      {2, "Int2"},
      {3, "Int4"},
      {4, "Float4"},
      {5, "Float8"},
      {7, "Date"},
      {11, "Boolean"},
      {16, "Int1"},
      {17, "UInt1"},
      {18, "UInt2"},
      {19, "UInt4"},
      {256, "String"},
      {6, "6"},
      {0x1003, "Array of Int4"},
      {0x1100, "Array of String"},
      {0x1006, "Array of 6"},
      {0x2003, "Int4"},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(TypeName(code), name) << code;
}

TEST(MakeTypedArray, MakesZeroElementsOfTheElementType) {
  const Variant strings = MakeTypedArray(kArrayFlag | kTypeString, 2);
  ASSERT_TRUE(strings.IsArray());
  EXPECT_EQ(TypeCodeOf(strings), kArrayFlag | kTypeString);
  EXPECT_EQ(strings.Get<VariantArray>()[1], Variant(std::u16string()));
  EXPECT_EQ(MakeTypedArray(kTypeBoolean, 1).Get<VariantArray>()[0], Variant(false));
  EXPECT_EQ(MakeTypedArray(kTypeUInt4, 3).Get<VariantArray>().size(), 3u);
  EXPECT_EQ(ErrorOf([] { MakeTypedArray(kTypeInt4, -1); }),
            "MakeTypedArray: неверное число элементов (-1)");
  EXPECT_EQ(ErrorOf([] { MakeTypedArray(9, 1); }), "MakeTypedArray: неверный тип данных (9)");
}

TEST(ConvertToType, ConvertsArraysElementByElement) {
  Variant value = Array(kTypeString, {u"1", u"2.5", u" -3 "});
  ConvertToType(value, kArrayFlag | kTypeInt2);
  EXPECT_EQ(value, Array(kTypeInt2, {std::int16_t{1}, std::int16_t{2}, std::int16_t{-3}}));

  Variant bad = Array(kTypeString, {u"1", u"x"});
  const Variant before = bad;
  EXPECT_THROW(ConvertToType(bad, kArrayFlag | kTypeInt2), ConvertError);
  EXPECT_EQ(bad, before);
}

TEST(ConvertToType, LeavesTheValueAsItWasWhenTheConversionFails) {
  Variant value = 40000;
  EXPECT_EQ(ErrorOf([&] { ConvertToType(value, kTypeInt2); }),
            "ConvertToType: значение 40000 вне диапазона типа Int2");
  EXPECT_EQ(value, Variant(40000));
  EXPECT_EQ(ErrorOf([&] { ConvertToType(value, 9); }), "ConvertToType: неверный тип данных (9)");
}

class FormatValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::DisplayFormats russian;
    russian.decimal_separator = ',';
    russian.short_date = "dd.MM.yyyy";
    russian.long_time = "H:mm:ss";
    platform::SetDisplayFormats(russian);
  }
  void TearDown() override { platform::ResetDisplayFormats(); }
};

TEST_F(FormatValueTest, DefaultFormatsPerType) {
  EXPECT_EQ(DisplayFormat(kTypeEmpty), "");
  EXPECT_EQ(DisplayFormat(kTypeInt1), "%d");
  EXPECT_EQ(DisplayFormat(kTypeBoolean), "%d");
  EXPECT_EQ(DisplayFormat(kTypeUInt4), "%u");
  EXPECT_EQ(DisplayFormat(kTypeFloat4), "%.1f");
  EXPECT_EQ(DisplayFormat(kTypeFloat8), "%.2f");
  EXPECT_EQ(DisplayFormat(kTypeString), "");
  EXPECT_EQ(DisplayFormat(6), "");
  EXPECT_EQ(DisplayFormat(kTypeDate), "dd.mm.yyyy h:nn:ss");

  platform::DisplayFormats us;
  us.decimal_separator = '.';
  us.short_date = "M/d/yyyy";
  us.long_time = "h:mm:ss tt";
  platform::SetDisplayFormats(us);
  EXPECT_EQ(DisplayFormat(kTypeDate), "m/d/yyyy h:nn:ss");
  us.short_date = "yyyy-MM-dd 'year' d";
  platform::SetDisplayFormats(us);
  EXPECT_EQ(DisplayFormat(kTypeDate), "yyyy-mm-dd \"year\" d h:nn:ss");
}

TEST_F(FormatValueTest, FloatsUseTheLocaleDecimalSeparator) {
  EXPECT_EQ(FormatValue(kTypeFloat8, "%.1f", 21.3), "21,3");
  EXPECT_EQ(FormatValue(kTypeFloat4, DisplayFormat(kTypeFloat4), 21.3f), "21,3");
  EXPECT_EQ(FormatValue(kTypeFloat8, DisplayFormat(kTypeFloat8), 21), "21,00");
  EXPECT_EQ(FormatValue(kTypeFloat8, "%g", 1.0 / 3), "0,333333333333333");
  EXPECT_EQ(FormatValue(kTypeFloat8, "%g", 100.0), "100");
  EXPECT_EQ(FormatValue(kTypeFloat8, "T=%+8.2f °C", -1.005), "T=   -1,00 °C");
  EXPECT_EQ(FormatValue(kTypeFloat8, "%.3e", 12345.0), "1,234e+04");
  EXPECT_EQ(FormatValue(kTypeFloat8, "%.1f", "2,25"), "2,2");
  platform::DisplayFormats dot;
  dot.decimal_separator = '.';
  platform::SetDisplayFormats(dot);
  EXPECT_EQ(FormatValue(kTypeFloat8, "%.1f", 21.3), "21.3");
}

TEST_F(FormatValueTest, IntegersFollowCForA32BitArgument) {
  EXPECT_EQ(FormatValue(kTypeInt4, "%d", 42), "42");
  EXPECT_EQ(FormatValue(kTypeInt1, "[%05d]", std::int8_t{-42}), "[-0042]");
  EXPECT_EQ(FormatValue(kTypeUInt4, "%d", 0xFFFFFFFFu), "-1");
  EXPECT_EQ(FormatValue(kTypeInt4, "%u", -1), "4294967295");
  EXPECT_EQ(FormatValue(kTypeInt4, "%hd", 70000), "4464");
  EXPECT_EQ(FormatValue(kTypeUInt1, "%d%%", 2.5), "2%");  // converted to UInt1 first
  EXPECT_EQ(FormatValue(kTypeInt4, "%d °C", 5), "5 °C");
  EXPECT_EQ(ErrorOf([] { FormatValue(kTypeInt2, "%d", 40000); }),
            "ConvertToType: значение 40000 вне диапазона типа Int2");
}

TEST_F(FormatValueTest, RefusedFormatsFallBackToTheDefault) {
  // The validator has its own table; these are one of each way of failing.
  const char* refused[] = {"", "%%", "%s", "%n", "%d%d", "%*d", "%lld", "%100d", "%f", "x%99d"};
  for (const char* format : refused) {
    EXPECT_EQ(FormatValue(kTypeInt4, format, -42), "-42") << format;
    EXPECT_EQ(FormatValue(kTypeUInt2, format, std::uint16_t{7}), "7") << format;
  }
  EXPECT_EQ(FormatValue(kTypeInt4, "%99d", 1), std::string(98, ' ') + "1");
  EXPECT_EQ(FormatValue(kTypeFloat4, "%d", 1.25f), "1,2");
  EXPECT_EQ(FormatValue(kTypeFloat8, "%s%s", 1.25), "1,25");
  EXPECT_EQ(FormatValue(kTypeFloat8, "%#g", 1.25), "1,25");
}

TEST_F(FormatValueTest, OtherTypes) {
  EXPECT_EQ(FormatValue(kTypeEmpty, "abc", Variant()), "abc");
  EXPECT_EQ(FormatValue(kTypeEmpty, "", 5), "");
  EXPECT_EQ(FormatValue(0x1006, "%d", 5), "неверный тип 4102");
  EXPECT_EQ(FormatValue(kTypeBoolean, "%d", true), "да");
  EXPECT_EQ(FormatValue(kTypeBoolean, "", std::uint16_t{1}), "да");
  EXPECT_EQ(FormatValue(kTypeBoolean, "%d", 0), "нет");
  EXPECT_EQ(FormatValue(kTypeString, "%d", u"Привет"), "Привет");
  EXPECT_EQ(FormatValue(kTypeString, "", 12), "12");

  const DateValue when{EncodeDate(2015, 9, 21) + EncodeTime(10, 11, 12, 345)};
  EXPECT_EQ(FormatValue(kTypeDate, "yyyy-mm-dd hh:nn:ss.zzz", when), "2015-09-21 10:11:12.345");
  EXPECT_EQ(FormatValue(kTypeDate, "", when), "21.09.2015 10:11:12");
  EXPECT_EQ(FormatValue(kTypeDate, DisplayFormat(kTypeDate), when), "21.09.2015 10:11:12");
  EXPECT_THROW(FormatValue(kTypeDate, "", DateValue{1e9}), ConvertError);
}

}  // namespace
}  // namespace corvid
