#include <time.h>

#include "platform/clock.h"

namespace corvid::platform {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochInFileTimeSeconds = 11644473600ull;

class PosixClock final : public Clock {
 public:
  std::uint32_t TickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
  }

  FileTime UtcNow() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<std::uint64_t>(ts.tv_sec) + kUnixEpochInFileTimeSeconds) * 10000000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100u;
  }

  void Sleep(std::uint32_t ms) override {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }

  bool Wait(std::uint32_t ms, const WaitSources& sources) override {
    return WaitForSources(sources, ms);
  }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace corvid::platform
