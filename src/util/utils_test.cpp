// Tests of the Russian number and time texts and of the protocol's ISO 8601 date-time text.
#include "util/utils.h"

#include <gtest/gtest.h>

#include "util/error.h"

namespace corvid {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

TEST(UtilsTest, RussianPlural) {
  struct Case {
    std::uint64_t n;
    const char* form;
  };
  const Case cases[] = {
      {0, "many"},   {1, "one"},    {2, "few"},   {4, "few"},   {5, "many"},
      {11, "many"},  {12, "many"},  {14, "many"}, {19, "many"}, {20, "many"},
      {21, "one"},   {22, "few"},   {25, "many"}, {101, "one"}, {111, "many"},
      {112, "many"}, {114, "many"}, {121, "one"}, {122, "few"}, {1000001, "one"},
  };
  for (const Case& c : cases) EXPECT_STREQ(RussianPlural(c.n, "one", "few", "many"), c.form) << c.n;
}

TEST(UtilsTest, DurationText) {
  struct Case {
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {0.25, "250 мс"},
      {-0.5, "-500 мс"},
      {-3600, "-3600000 мс"},
      {0.9995, "999 мс"},
      {1, "1 секунда"},
      {11, "11 секунд"},
      {22, "22 секунды"},
      {59.9, "59 секунд"},
      {60, "1 минута 0 секунд"},
      {65, "1 минута 5 секунд"},
      {2 * 3600, "2 часа 0 минут"},
      {3 * 3600 + 21 * 60, "3 часа 21 минута"},
      {23 * 3600 + 59 * 60 + 59, "23 часа 59 минут"},
      {86400, "1 день"},
      {86401, "1 день"},
      {86400 + 30 * 60, "1 день"},
      {2 * 86400 + 5 * 3600, "2 дня 5 часов"},
      {5 * 86400 + 1 * 3600, "5 дней 1 час"},
      {21 * 86400 + 22 * 3600, "21 день 22 часа"},
  };
  for (const Case& c : cases) EXPECT_EQ(DurationText(c.seconds * kSecond), c.text) << c.seconds;
  // Differences of two date-times, as the callers form them, keep their whole seconds.
  const TDateTime start = EncodeDate(2015, 9, 21) + EncodeTime(10, 11, 12, 0);
  EXPECT_EQ(DurationText(start + EncodeTime(0, 1, 5, 0) - start), "1 минута 5 секунд");
  // Durations beyond any integer are clamped, not undefined.
  EXPECT_EQ(DurationText(1e300), "106751991167300 дней 15 часов");
  EXPECT_EQ(DurationText(-1e300), "-9223372036854775808 мс");
}

TEST(UtilsTest, SizeText) {
  struct Case {
    std::uint32_t n;
    const char* text;
  };
  const Case cases[] = {
      {0, "0 б"},          {1500, "1500 б"},           {2047, "2047 б"},
      {2048, "2.0 Кб"},    {1048575, "1023.9 Кб"},     {1048576, "1.0 Мб"},
      {3670016, "3.5 Мб"}, {4294967295u, "4095.9 Мб"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.n), c.text) << c.n;
}

TEST(UtilsTest, UtcOffsetText) {
  struct Case {
    std::int32_t bias;
    const char* text;
  };
  const Case cases[] = {
      {0, "UTC"},          {-180, "UTC+03:00"}, {300, "UTC-05:00"},
      {-330, "UTC+05:30"}, {45, "UTC-00:45"},   {-840, "UTC+14:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(UtcOffsetText(c.bias), c.text) << c.bias;
}

TEST(UtilsTest, IsoDateTimeTextRoundTrips) {
  const TDateTime t = EncodeDate(2015, 9, 21) + EncodeTime(10, 11, 12, 345);
  EXPECT_EQ(IsoDateTimeText(t), "20150921T101112.3450");
  EXPECT_EQ(IsoDateTimeText(EncodeDate(1, 1, 1)), "00010101T000000.0000");
  EXPECT_DOUBLE_EQ(DateTimeFromISO8601(IsoDateTimeText(t)), t);
}

TEST(UtilsTest, DateTimeFromISO8601ReadsWhatIsThere) {
  struct Case {
    const char* text;
    int y, mo, d, h, mi, s, ms;
  };
  const Case cases[] = {
      {"20150921", 2015, 9, 21, 0, 0, 0, 0},
      {"20150921T10", 2015, 9, 21, 10, 0, 0, 0},
      {"20150921T1011", 2015, 9, 21, 10, 11, 0, 0},
      {"20150921T101112", 2015, 9, 21, 10, 11, 12, 0},
      {"20150921T101112.345", 2015, 9, 21, 10, 11, 12, 0},  // 19 characters: no milliseconds
      {"20150921T101112.3450", 2015, 9, 21, 10, 11, 12, 345},
      {"20150921T101112.345Zjunk", 2015, 9, 21, 10, 11, 12, 345},
      {"20150921T101112,3450", 2015, 9, 21, 10, 11, 12, 0},
      {"20150921X101112", 2015, 9, 21, 0, 0, 0, 0},  // no 'T': the date only
      {"20150921T1", 2015, 9, 21, 0, 0, 0, 0},       // too short for an hour
      {"18991229T060000", 1899, 12, 29, 6, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const DateTimeParts p = DecodeDateTime(DateTimeFromISO8601(c.text));
    EXPECT_EQ(p.year, c.y) << c.text;
    EXPECT_EQ(p.month, c.mo) << c.text;
    EXPECT_EQ(p.day, c.d) << c.text;
    EXPECT_EQ(p.hour, c.h) << c.text;
    EXPECT_EQ(p.minute, c.mi) << c.text;
    EXPECT_EQ(p.second, c.s) << c.text;
    EXPECT_EQ(p.millisecond, c.ms) << c.text;
  }
  EXPECT_DOUBLE_EQ(DateTimeFromISO8601("18991229T060000"), -1.25);
}

TEST(UtilsTest, DateTimeFromISO8601Errors) {
  for (const char* text : {"", "201", "abc"}) {
    try {
      DateTimeFromISO8601(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const ConvertError&) {
      ADD_FAILURE() << "a short text is not a conversion error: " << text;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("DateTimeFromISO8601(): неверная дата время: ") + text);
    }
  }
  for (const char* text :
       {"2015", "20150", "201509", "2015-09-21", "20150021", "20151321", "20150900", "20150231",
        "20150921T2400", "20150921T1060", "20150921T101160", "2015O921", "+2015092", "20150921T1a",
        "20150921T101112.3x50", "2015\xd0\x9f\xd0\x9f"}) {
    try {
      DateTimeFromISO8601(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const ConvertError& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("DateTimeFromISO8601(): неверная дата время: ") + text);
    }
  }
}

}  // namespace
}  // namespace corvid
