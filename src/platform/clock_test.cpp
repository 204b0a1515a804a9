#include "platform/clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace corvid::platform {
namespace {

TEST(TicksSince, MeasuresAcrossTheWrapAround) {
  EXPECT_EQ(TicksSince(200u, 0xFFFFFED8u), 496u);  // 296 ms before the wrap to 200 ms after it
  EXPECT_EQ(TicksSince(0u, 0xFFFFFFFFu), 1u);
  EXPECT_EQ(TicksSince(1000u, 1000u), 0u);
  EXPECT_EQ(TicksSince(5000u, 1000u), 4000u);
}

TEST(TicksLeft, CountsDownToZeroAcrossTheWrapAround) {
  EXPECT_EQ(TicksLeft(200u, 0xFFFFFED8u, 1000u), 504u);  // 496 ms passed across the wrap
  EXPECT_EQ(TicksLeft(1000u, 1000u, 5u), 5u);
  EXPECT_EQ(TicksLeft(5000u, 1000u, 4000u), 0u);
  EXPECT_EQ(TicksLeft(9000u, 1000u, 4000u), 0u) << "long past, never a huge wait";
}

TEST(FakeClock, WrapsLikeTheSystemCounterAndKeepsUtcInStep) {
  FakeClock clock(0xFFFFFF00u, 1000u);
  clock.Advance(0x200);
  EXPECT_EQ(clock.TickCount(), 0x100u);
  EXPECT_EQ(clock.UtcNow(), 1000u + 0x200u * 10000u);
}

TEST(FakeClock, SleepAdvancesOnlyByTheAutoAdvance) {
  FakeClock clock(0, 0, 0);
  clock.Sleep(1000);
  EXPECT_EQ(clock.TickCount(), 0u);
  clock.SetAutoAdvance(7);
  clock.Sleep(1);
  EXPECT_EQ(clock.TickCount(), 7u);
}

TEST(CurrentClock, IsTheInstalledClockWhileTheScopeLasts) {
  FakeClock fake(42);
  {
    ScopedClock scope(fake);
    EXPECT_EQ(CurrentClock().TickCount(), 42u);
  }
  EXPECT_EQ(&CurrentClock(), &SystemClock());
}

TEST(FakeClock, AdvancesConsistentlyFromSeveralThreads) {
  FakeClock clock;
  std::thread a([&] {
    for (int i = 0; i < 10000; ++i) clock.Advance(1);
  });
  std::thread b([&] {
    for (int i = 0; i < 10000; ++i) clock.Advance(1);
  });
  a.join();
  b.join();
  EXPECT_EQ(clock.TickCount(), 20000u);
  EXPECT_EQ(clock.UtcNow(), 20000u * 10000u);
}

TEST(SystemClock, TicksAndUtcMoveForward) {
  Clock& clock = SystemClock();
  const std::uint32_t t0 = clock.TickCount();
  const FileTime u0 = clock.UtcNow();
  // The counters have a coarse resolution on some systems (10-16 ms): wait for a change.
  for (int i = 0; i < 200 && clock.TickCount() == t0; ++i) clock.Sleep(1);
  EXPECT_NE(clock.TickCount(), t0);
  EXPECT_GE(clock.UtcNow(), u0);
  // After 2020-01-01 (132223104000000000) in any sane environment.
  EXPECT_GT(u0, 132223104000000000ull);
}

}  // namespace
}  // namespace corvid::platform
