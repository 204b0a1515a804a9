// Tests of the display formats, the local-time conversions and the system error texts.
#include "platform/locale.h"

#include <gtest/gtest.h>

#include <time.h>
#include <cstdlib>

namespace corvid::platform {
namespace {

constexpr FileTime kHour = 36000000000ull;
constexpr FileTime kSeptember = 130873038723451234ull;  // 2015-09-21 10:11:12.3451234 UTC
constexpr FileTime kJanuary = 130657968000000000ull;    // 2015-01-15 12:00:00 UTC
constexpr FileTime k1899 = 94353120000000000ull;        // 1899-12-30 00:00:00 UTC

class DisplayFormatsTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetDisplayFormats(); }
};

TEST_F(DisplayFormatsTest, PinnedFormatsWinUntilReset) {
  const DisplayFormats user = UserDisplayFormats();
  EXPECT_FALSE(user.short_date.empty());
  EXPECT_FALSE(user.long_time.empty());
  DisplayFormats pinned;
  pinned.decimal_separator = '.';
  pinned.short_date = "yyyy-MM-dd";
  pinned.long_time = "HH:mm:ss";
  pinned.am = "AM";
  SetDisplayFormats(pinned);
  const DisplayFormats now = UserDisplayFormats();
  EXPECT_EQ(now.decimal_separator, '.');
  EXPECT_EQ(now.short_date, "yyyy-MM-dd");
  EXPECT_EQ(now.long_time, "HH:mm:ss");
  EXPECT_EQ(now.am, "AM");
  ResetDisplayFormats();
  EXPECT_EQ(UserDisplayFormats().short_date, user.short_date);
}

#if !defined(_WIN32)
// Pins TZ for the lifetime of the object.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(TimeZoneTest, ConversionsFollowTheTzRules) {
  struct Case {
    const char* tz;
    FileTime utc;
    std::int64_t offset_hours;  // local - UTC
  };
  const Case cases[] = {
      {"MSK-3", kSeptember, 3},
      {"MSK-3", k1899, 3},
      {"UTC0", kSeptember, 0},
      {"EST5EDT,M3.2.0,M11.1.0", kSeptember, -4},  // summer time
      {"EST5EDT,M3.2.0,M11.1.0", kJanuary, -5},
  };
  for (const Case& c : cases) {
    ScopedTimeZone tz(c.tz);
    const FileTime local =
        c.utc + static_cast<FileTime>(c.offset_hours * std::int64_t{36000000000});
    EXPECT_EQ(UtcToLocal(c.utc), local) << c.tz << " " << c.utc;
    EXPECT_EQ(LocalToUtc(local), c.utc) << c.tz << " " << c.utc;
  }
}

TEST(TimeZoneTest, BiasOfTheProgramClock) {
  FakeClock clock(0, kSeptember);
  ScopedClock scoped(clock);
  {
    ScopedTimeZone tz("MSK-3");
    EXPECT_EQ(CurrentTimeZoneBias(), -180);
  }
  {
    ScopedTimeZone tz("IST-5:30");
    EXPECT_EQ(CurrentTimeZoneBias(), -330);
  }
  {
    ScopedTimeZone tz("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(CurrentTimeZoneBias(), 240);
    clock.SetUtc(kJanuary);
    EXPECT_EQ(CurrentTimeZoneBias(), 300);
  }
}

#endif

// Whatever the zone of the machine: the conversions invert each other away from a change of
// summer time and keep the part below a millisecond.
TEST(TimeZoneTest, ConversionsInvertEachOther) {
  for (const FileTime utc : {kSeptember, kJanuary, kJanuary + 1}) {
    const FileTime local = UtcToLocal(utc);
    EXPECT_EQ(LocalToUtc(local), utc);
    EXPECT_EQ(local % 10000, utc % 10000);
    const auto offset = static_cast<std::int64_t>(local - utc);
    EXPECT_LE(offset < 0 ? -offset : offset, static_cast<std::int64_t>(14 * kHour));
  }
}

TEST(SystemErrorMessageTest, TextWhenTheSystemHasOneEmptyOtherwise) {
  const std::string text = SystemErrorMessage(2);  // file not found
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(SystemErrorMessage(0x2FFFFFFFu), "");
}

}  // namespace
}  // namespace corvid::platform
