// Tests of TDateTime encoding, decoding, FILETIME conversion and the picture formatters.
#include "util/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/locale.h"
#include "util/error.h"

namespace corvid {
namespace {

// 2015-09-21 10:11:12.345 as FILETIME.
constexpr platform::FileTime kSample = 130873038723450000ull;
constexpr TDateTime kSampleDay = 42268;

TDateTime Sample() {
  return kSampleDay + (((10 * 60 + 11) * 60 + 12) * 1000 + 345) / kMsPerDay;
}

TEST(DateTimeTest, EncodeDateCountsDaysFrom18991230) {
  struct Case {
    int y, m, d;
    double days;
  };
  const Case cases[] = {
      {1899, 12, 30, 0},    {1899, 12, 29, -1},   {1900, 1, 1, 2},    {1900, 3, 1, 61},
      {2015, 9, 21, 42268}, {2000, 2, 29, 36585}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    const DateTimeParts p = DecodeDateTime(c.days);
    EXPECT_EQ(p.year, c.y);
    EXPECT_EQ(p.month, c.m);
    EXPECT_EQ(p.day, c.d);
  }
}

TEST(DateTimeTest, OutOfRangeDatesAndTimesRaiseConvertError) {
  const int bad_dates[][3] = {{2015, 0, 1},  {2015, 13, 1}, {2015, 1, 0}, {2015, 4, 31},
                              {1900, 2, 29}, {2100, 2, 29}, {0, 1, 1},    {10000, 1, 1}};
  for (const auto& d : bad_dates) {
    EXPECT_THROW(EncodeDate(d[0], d[1], d[2]), ConvertError) << d[0] << "-" << d[1] << "-" << d[2];
    TDateTime unused = 0;
    EXPECT_FALSE(TryEncodeDate(d[0], d[1], d[2], unused));
  }
  const int bad_times[][4] = {
      {24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
  for (const auto& t : bad_times) {
    EXPECT_THROW(EncodeTime(t[0], t[1], t[2], t[3]), ConvertError);
  }
  try {
    EncodeDate(2015, 13, 1);
  } catch (const ConvertError& e) {
    EXPECT_EQ(std::string(e.what()), "EncodeDate(): недопустимая дата: 2015-13-01");
  }
  EXPECT_EQ(EncodeTime(23, 59, 59, 999), 86399999 / kMsPerDay);
}

TEST(DateTimeTest, DecodeRoundsToTheNearestMillisecond) {
  DateTimeParts p = DecodeDateTime(Sample());
  EXPECT_EQ(p.hour, 10);
  EXPECT_EQ(p.minute, 11);
  EXPECT_EQ(p.second, 12);
  EXPECT_EQ(p.millisecond, 345);
  EXPECT_EQ(p.day_of_week, 2);  // a Monday

  p = DecodeDateTime(kSampleDay + 0.9999999999);  // rounds up to the next midnight
  EXPECT_EQ(p.day, 22);
  EXPECT_EQ(p.hour, 0);
  EXPECT_EQ(p.millisecond, 0);
  EXPECT_EQ(p.day_of_week, 3);
}

TEST(DateTimeTest, NegativeValuesCountTheTimeForwardFromTheirDay) {
  DateTimeParts p = DecodeDateTime(-1.25);
  EXPECT_EQ(p.year, 1899);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  p = DecodeDateTime(-0.5);  // the same instant as +0.5
  EXPECT_EQ(p.day, 30);
  EXPECT_EQ(p.hour, 12);
  p = DecodeDateTime(-1.9999999999);  // 1899-12-29 24:00 is 1899-12-30 00:00
  EXPECT_EQ(p.day, 30);
  EXPECT_EQ(p.hour, 0);
}

TEST(DateTimeTest, ValuesOutsideTheCalendarDecodeToZeros) {
  const double bad[] = {
      std::nan(""), std::numeric_limits<double>::infinity(), 1e10, -1e10, 2958466.0, -693594.5};
  for (const double v : bad) {
    const DateTimeParts p = DecodeDateTime(v);
    EXPECT_EQ(p.year, 0) << v;
    EXPECT_EQ(p.day_of_week, 0) << v;
    EXPECT_EQ(DateTimeToFileTime(v), 0u) << v;
    EXPECT_EQ(FormatDateTime("yyyymmdd", v), "00000000") << v;
  }
}

TEST(DateTimeTest, FileTimeConversions) {
  struct Case {
    platform::FileTime ft;
    TDateTime value;
  };
  const Case cases[] = {
      {kSample, Sample()},
      {94353120000000000ull, 0.0},    // 1899-12-30
      {94352472000000000ull, -1.25},  // 1899-12-29 06:00
      {0, -109205.0},                 // 1601-01-01
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(c.ft), c.value) << c.ft;
    EXPECT_EQ(DateTimeToFileTime(c.value), c.ft) << c.value;
  }
  // Below a millisecond is dropped; before 1601 there is no FILETIME.
  EXPECT_EQ(DateTimeToFileTime(FileTimeToDateTime(kSample + 9999)), kSample);
  EXPECT_EQ(DateTimeToFileTime(EncodeDate(1600, 12, 31)), 0u);
}

TEST(DateTimeTest, FormatDateTimePictures) {
  struct Case {
    const char* picture;
    const char* text;
  };
  const Case cases[] = {
      {"yyyymmdd'T'hhnnss.zzz", "20150921T101112.345"},
      {"YYYY-MM-DD HH:NN:SS.ZZZ", "2015-09-21 10:11:12.345"},
      {"yy-m-d h:n:s z", "15-9-21 10:11:12 345"},
      {"dd.mm.yyyy hh:mm", "21.09.2015 10:11"},  // mm after hh is minutes
      {"h'h'm", "10h11"},                        // also across a literal
      {"\"yyyy\" yyyy", "yyyy 2015"},
      {"mm/dd", "09/21"},
      {"'unterminated", "unterminated"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.picture, Sample()), c.text) << c.picture;
  EXPECT_EQ(FormatDateTime("z zzz", EncodeTime(0, 0, 0, 7)), "7 007");
}

class LocalePictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDisplayFormats({.decimal_separator = ',',
                                 .short_date = "dd.MM.yyyy",
                                 .long_time = "H:mm:ss",
                                 .am = "AM",
                                 .pm = "PM"});
  }
  void TearDown() override { platform::ResetDisplayFormats(); }
};

TEST_F(LocalePictureTest, WindowsPictures) {
  const TDateTime evening = EncodeDate(2005, 3, 4) + EncodeTime(22, 5, 7, 0);
  const TDateTime midnight = EncodeDate(2005, 3, 4);
  struct Case {
    const char* picture;
    TDateTime value;
    const char* text;
  };
  const Case cases[] = {
      {"dd.MM.yyyy", evening, "04.03.2005"},
      {"d/M/yy", evening, "4/3/05"},
      {"y", evening, "5"},
      {"H:mm:ss", evening, "22:05:07"},
      {"HH:m:s", midnight, "00:0:0"},
      {"hh:mm:ss tt", evening, "10:05:07 PM"},
      {"h t", midnight, "12 A"},
      {"'d' d 'It''s'", evening, "d 4 It's"},
      {"yyyy-MM-dd", Sample(), "2015-09-21"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatLocalePicture(c.picture, c.value), c.text) << c.picture;
  }
  EXPECT_EQ(ShortDateText(evening), "04.03.2005");
  EXPECT_EQ(LongTimeText(evening), "22:05:07");
  EXPECT_EQ(DateTimeText(evening), "04.03.2005 22:05:07");
}

}  // namespace
}  // namespace corvid
