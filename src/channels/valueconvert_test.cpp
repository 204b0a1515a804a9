#include "channels/valueconvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/locale.h"
#include "util/datetime.h"
#include "util/error.h"

namespace corvid {
namespace {

class ValueConvert : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::DisplayFormats russian;
    russian.decimal_separator = ',';
    russian.short_date = "dd.MM.yyyy";
    russian.long_time = "H:mm:ss";
    platform::SetDisplayFormats(russian);
  }
  void TearDown() override { platform::ResetDisplayFormats(); }

  static std::string Error(const Variant& value, std::uint16_t element) {
    try {
      ConvertScalar(value, element);
    } catch (const ConvertError& e) {
      return e.what();
    }
    return "(no error)";
  }
};

TEST_F(ValueConvert, RoundsHalvesToTheEvenNeighbour) {
  const std::pair<double, double> cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {0.49, 0},
      {0.51, 1},
      {-0.51, -1},
      {1e300, 1e300},
      {4503599627370497.0, 4503599627370497.0},
  };
  for (const auto& [x, expected] : cases) EXPECT_EQ(RoundHalfEven(x), expected) << x;
  EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

TEST_F(ValueConvert, IntegersAtTheEdgesOfTheirRanges) {
  struct Case {
    Variant value;
    std::uint16_t element;
    Variant expected;  // empty: out of range
  } cases[] = {
      {127, kTypeInt1, std::int8_t{127}},
      {128, kTypeInt1, Variant()},
      {-128.5, kTypeInt1, std::int8_t{-128}},
      {-129, kTypeInt1, Variant()},
      {255.5, kTypeUInt1, Variant()},  // 256 after rounding
      {254.5, kTypeUInt1, std::uint8_t{254}},
      {-0.5, kTypeUInt1, std::uint8_t{0}},
      {-1, kTypeUInt1, Variant()},
      {32767, kTypeInt2, std::int16_t{32767}},
      {-32769, kTypeInt2, Variant()},
      {65535u, kTypeUInt2, std::uint16_t{65535}},
      {65536, kTypeUInt2, Variant()},
      {2147483647.4, kTypeInt4, 2147483647},
      {2147483647.5, kTypeInt4, Variant()},
      {-2147483648.5, kTypeInt4, -2147483647 - 1},
      {0xFFFFFFFFu, kTypeInt4, Variant()},
      {4294967295.0, kTypeUInt4, 0xFFFFFFFFu},
      {4294967295.5, kTypeUInt4, Variant()},
      {-1, kTypeUInt4, Variant()},
      {std::numeric_limits<double>::infinity(), kTypeInt4, Variant()},
      {std::nan(""), kTypeInt4, Variant()},
      {"1e3", kTypeInt2, std::int16_t{1000}},
      {"2,5", kTypeInt4, 2},
      {"3.5", kTypeInt4, 4},
      {u" +12 ", kTypeUInt1, std::uint8_t{12}},
      {"1e10", kTypeInt4, Variant()},
      {DateValue{1.5}, kTypeInt4, 2},
      {Variant(), kTypeInt4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ScalarText(c.value) + " -> " + std::to_string(c.element));
    if (c.expected.IsEmpty()) {
      EXPECT_NE(Error(c.value, c.element).find("вне диапазона"), std::string::npos);
    } else {
      EXPECT_EQ(ConvertScalar(c.value, c.element), c.expected);
    }
  }
}

TEST_F(ValueConvert, BooleanRules) {
  EXPECT_EQ(ConvertScalar(true, kTypeInt1), Variant(std::int8_t{-1}));
  EXPECT_EQ(ConvertScalar(true, kTypeInt4), Variant(-1));
  EXPECT_EQ(ConvertScalar(true, kTypeUInt1), Variant(std::uint8_t{0xFF}));
  EXPECT_EQ(ConvertScalar(true, kTypeUInt2), Variant(std::uint16_t{0xFFFF}));
  EXPECT_EQ(ConvertScalar(true, kTypeUInt4), Variant(0xFFFFFFFFu));
  EXPECT_EQ(ConvertScalar(true, kTypeFloat8), Variant(-1.0));
  EXPECT_EQ(ConvertScalar(false, kTypeInt2), Variant(std::int16_t{0}));
  EXPECT_EQ(ConvertScalar(true, kTypeString), Variant("True"));
  EXPECT_EQ(ConvertScalar(false, kTypeString), Variant("False"));

  const std::pair<Variant, bool> to_boolean[] = {
      {0, false},
      {-3, true},
      {0.0, false},
      {0.001, true},
      {"true", true},
      {"FALSE", false},
      {u"Да", true},
      {" нет ", false},
      {"1", true},
      {"0", false},
      {"0,5", true},
      {Variant(), false},
      {std::uint16_t{0xFFFF}, true},
  };
  for (const auto& [value, expected] : to_boolean) {
    EXPECT_EQ(ConvertScalar(value, kTypeBoolean), Variant(expected)) << ScalarText(value);
  }
  EXPECT_EQ(Error("может быть", kTypeBoolean),
            "ConvertToType: текст \"может быть\" не является значением типа Boolean");
}

TEST_F(ValueConvert, TextsToNumbers) {
  EXPECT_EQ(ConvertScalar("21,3", kTypeFloat8), Variant(21.3));
  EXPECT_EQ(ConvertScalar("21.3", kTypeFloat8), Variant(21.3));
  EXPECT_EQ(ConvertScalar("-.5", kTypeFloat8), Variant(-0.5));
  EXPECT_EQ(ConvertScalar("1E-2", kTypeFloat4), Variant(0.01f));
  EXPECT_EQ(ConvertScalar(u"7", kTypeFloat4), Variant(7.0f));
  for (const char* text :
       {"", " ", "abc", "1 000", "1,2,3", "0x10", "1e", "--1", "inf", "nan", "1.5.", ",", "+"}) {
    EXPECT_EQ(Error(text, kTypeFloat8), std::string("ConvertToType: текст \"") + text +
                                            "\" не является значением типа Float8");
  }
  EXPECT_EQ(Error("1e400", kTypeFloat8), "ConvertToType: значение 1e400 вне диапазона типа Float8");
}

TEST_F(ValueConvert, Float4Range) {
  EXPECT_EQ(ConvertScalar(3.4028234663852886e38, kTypeFloat4),
            Variant(std::numeric_limits<float>::max()));
  EXPECT_EQ(Error(1e39, kTypeFloat4), "ConvertToType: значение 1e+39 вне диапазона типа Float4");
  EXPECT_TRUE(
      std::isinf(ConvertScalar(std::numeric_limits<double>::infinity(), kTypeFloat4).Get<float>()));
}

TEST_F(ValueConvert, DatesFromNumbersAndTexts) {
  const double when = EncodeDate(2015, 9, 21) + EncodeTime(10, 11, 12, 500);
  EXPECT_EQ(ConvertScalar(42, kTypeDate), Variant(DateValue{42}));
  EXPECT_EQ(ConvertScalar("21.09.2015", kTypeDate), Variant(DateValue{EncodeDate(2015, 9, 21)}));
  EXPECT_EQ(ConvertScalar("21.09.2015 10:11:12.5", kTypeDate), Variant(DateValue{when}));
  EXPECT_EQ(ConvertScalar("2015-09-21T10:11:12,500", kTypeDate), Variant(DateValue{when}));
  EXPECT_EQ(ConvertScalar("21.09.15", kTypeDate), Variant(DateValue{EncodeDate(2015, 9, 21)}));
  EXPECT_EQ(ConvertScalar("1.1.45", kTypeDate), Variant(DateValue{EncodeDate(1945, 1, 1)}));
  for (const char* text :
       {"31.02.2015", "21.09", "21.09.2015 25:00", "завтра", "1/2/3/4/5/6/7/8"}) {
    EXPECT_NE(Error(text, kTypeDate).find("не является значением типа Date"), std::string::npos)
        << text;
  }
  EXPECT_NE(Error(1e9, kTypeDate).find("вне диапазона типа Date"), std::string::npos);

  platform::DisplayFormats us;
  us.short_date = "M/d/yyyy";
  platform::SetDisplayFormats(us);
  EXPECT_EQ(ConvertScalar("9/21/2015", kTypeDate), Variant(DateValue{EncodeDate(2015, 9, 21)}));
}

TEST_F(ValueConvert, TextsOfValues) {
  EXPECT_EQ(ScalarText(Variant()), "");
  EXPECT_EQ(ScalarText(std::int8_t{-128}), "-128");
  EXPECT_EQ(ScalarText(0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(ScalarText(21.3f), "21,3");
  EXPECT_EQ(ScalarText(0.1 + 0.2), "0,3");
  EXPECT_EQ(ScalarText(1e20), "1e+20");
  EXPECT_EQ(ScalarText(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(ScalarText(DateValue{EncodeDate(2015, 9, 21) + EncodeTime(10, 11, 12, 0)}),
            "21.09.2015 10:11:12");
  EXPECT_EQ(ScalarText(u"Ёлка"), "Ёлка");
  EXPECT_EQ(ConvertScalar(2.5, kTypeString), Variant("2,5"));
  EXPECT_EQ(ConvertScalar(u"x", kTypeString), Variant(u"x"));
  EXPECT_EQ(ConvertScalar(5, kTypeEmpty), Variant());
  EXPECT_EQ(Error(5, 8), "ConvertToType: неверный тип данных (8)");
}

}  // namespace
}  // namespace corvid
