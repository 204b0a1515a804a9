// TimeInterval over a fake tick counter, across the 32-bit wrap-around.
#include "link/timeinterval.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace corvid {
namespace {

TEST(TimeInterval, AcrossTheTickWrap) {
  platform::FakeClock clock(0xFFFFFFFFu - 295);  // 296 ms before the wrap
  platform::ScopedClock scoped(clock);
  TimeInterval interval;
  interval.Start();
  clock.SetTick(200);  // 200 ms after it
  EXPECT_EQ(interval.ElapsedMs(), 496u);
  EXPECT_EQ(interval.ElapsedSeconds(), 0u);
  clock.Advance(59504);
  EXPECT_EQ(interval.ElapsedSeconds(), 60u);
  EXPECT_EQ(interval.ElapsedMs(), 60000u);
}

TEST(TimeInterval, FirstUpdateCountsFromZeroAndTotalIsNeverZero) {
  platform::FakeClock clock(0);
  platform::ScopedClock scoped(clock);
  TimeInterval interval;
  EXPECT_EQ(interval.Update(), 1u);  // nothing passed: 0 becomes 1
  clock.SetTick(5000);
  EXPECT_EQ(interval.Update(), 5001u);
  EXPECT_EQ(interval.LastTick(), 5000u);
  interval.Reset();
  EXPECT_EQ(interval.Total(), 0u);
  EXPECT_EQ(interval.Update(), 5000u);  // the whole tick count since the counter started
}

TEST(TimeInterval, RestartMeasuresFromTheNewStart) {
  platform::FakeClock clock(1000);
  platform::ScopedClock scoped(clock);
  TimeInterval interval;
  interval.Start();
  clock.Advance(61000);
  EXPECT_EQ(interval.ElapsedSeconds(), 61u);
  interval.Start();
  clock.Advance(999);
  EXPECT_EQ(interval.ElapsedSeconds(), 0u);
  // Several wraps of the counter between updates are not seen; one wrap per update is.
  for (int i = 0; i < 3; ++i) {
    clock.Advance(0x80000000u);
    interval.Update();
  }
  EXPECT_EQ(interval.ElapsedMs(), 999u + 3ull * 0x80000000ull);
}

}  // namespace
}  // namespace corvid
