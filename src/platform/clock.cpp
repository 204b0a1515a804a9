#include "platform/clock.h"

#include <thread>

namespace corvid::platform {
namespace {
std::atomic<Clock*> g_clock{nullptr};
}  // namespace

Clock& CurrentClock() {
  Clock* c = g_clock.load(std::memory_order_acquire);
  return c != nullptr ? *c : SystemClock();
}

void SetClock(Clock* clock) {
  g_clock.store(clock, std::memory_order_release);
}

FakeClock::FakeClock(std::uint32_t start_tick, FileTime start_utc, std::uint32_t auto_advance_ms)
    : tick_(start_tick), utc_(start_utc), auto_advance_ms_(auto_advance_ms) {}

void FakeClock::Sleep(std::uint32_t) {
  std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::microseconds(100));
  Advance(auto_advance_ms_.load());
}

bool FakeClock::Wait(std::uint32_t ms, const WaitSources& sources) {
  const bool ready = WaitForSources(sources, 0);
  Sleep(ms);
  return ready;
}

void FakeClock::Advance(std::uint32_t ms) {
  tick_.fetch_add(ms);
  utc_.fetch_add(static_cast<FileTime>(ms) * 10000u);
}

}  // namespace corvid::platform
