// The tick counter and the clocks of the process, behind one injectable interface so that tests
// drive time-outs, 32-bit tick wrap-around and the time of day without sleeping.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/wait.h"

namespace corvid::platform {

// 100-nanosecond intervals since 1601-01-01 00:00 UTC (the Windows FILETIME count).
using FileTime = std::uint64_t;

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; wraps around after 2^32 ms (49.7 days). Compare two
  // readings only through their unsigned difference.
  virtual std::uint32_t TickCount() = 0;
  // The current time of day, UTC.
  virtual FileTime UtcNow() = 0;
  // Gives up the processor for about `ms` milliseconds (a fake clock may return at once).
  virtual void Sleep(std::uint32_t ms) = 0;
  // Waits up to `ms` milliseconds for a source (platform/wait.h): returns when the socket is
  // ready or the signal is raised (taking it), true then. A fake clock returns as from Sleep.
  virtual bool Wait(std::uint32_t ms, const WaitSources& sources) = 0;
};

// The real clocks of the operating system.
Clock& SystemClock();

// The clock that the program uses: the system clock unless a test installed another.
Clock& CurrentClock();

// Installs `clock` for the whole process (nullptr restores the system clock). For tests; the
// clock must outlive its use.
void SetClock(Clock* clock);

// Unsigned difference of two tick readings: correct across the 32-bit wrap-around.
constexpr std::uint32_t TicksSince(std::uint32_t now, std::uint32_t then) {
  return now - then;
}
// Milliseconds left at `now` until `period` has passed since `then`; 0 once it has.
constexpr std::uint32_t TicksLeft(std::uint32_t now, std::uint32_t then, std::uint32_t period) {
  const std::uint32_t passed = TicksSince(now, then);
  return passed >= period ? 0 : period - passed;
}

// A clock that moves only when told to. Thread-safe. Sleep() yields the processor for a real
// moment (so polling loops do not spin) and advances the fake time by `auto_advance_ms`; so does
// Wait(), which takes a raised signal and reports a ready source, without blocking longer.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::uint32_t start_tick = 0, FileTime start_utc = 0,
                     std::uint32_t auto_advance_ms = 0);

  std::uint32_t TickCount() override { return tick_.load(); }
  FileTime UtcNow() override { return utc_.load(); }
  void Sleep(std::uint32_t ms) override;
  bool Wait(std::uint32_t ms, const WaitSources& sources) override;

  void Advance(std::uint32_t ms);
  void SetTick(std::uint32_t tick) { tick_.store(tick); }
  void SetUtc(FileTime utc) { utc_.store(utc); }
  void SetAutoAdvance(std::uint32_t ms) { auto_advance_ms_.store(ms); }

 private:
  std::atomic<std::uint32_t> tick_;
  std::atomic<FileTime> utc_;
  std::atomic<std::uint32_t> auto_advance_ms_;
};

// Installs a clock for the lifetime of the object (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) { SetClock(&clock); }
  ~ScopedClock() { SetClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace corvid::platform
